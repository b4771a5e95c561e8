#!/usr/bin/python3
"""A stand-in for the desktop's browser in the sign-in tests.

Installed under the name xdg-open in a folder put first on PATH (or named by
$BROWSER): it appends the address it was given to $FAKE_BROWSER_LOG, one
line each, then fetches it the way a browser would, following the provider's
redirect to the program's loopback listener, and appends the final status
and page as a JSON line. With FAKE_BROWSER_MODE=record it only records.
"""
import json
import os
import sys
import urllib.error
import urllib.request


def log(line):
    path = os.environ.get("FAKE_BROWSER_LOG")
    if path:
        with open(path, "a") as f:
            f.write(line + "\n")


def main():
    if len(sys.argv) != 2:
        log("ARGS " + json.dumps(sys.argv[1:]))
        return 2
    address = sys.argv[1]
    log("OPEN " + address)
    if os.environ.get("FAKE_BROWSER_MODE") == "record":
        return 0
    opener = urllib.request.build_opener(urllib.request.ProxyHandler({}))
    try:
        with opener.open(address, timeout=120) as reply:
            log("PAGE " + json.dumps({"status": reply.status,
                                      "body": reply.read().decode("utf-8", "replace")}))
    except urllib.error.HTTPError as e:
        log("PAGE " + json.dumps({"status": e.code,
                                  "body": e.read().decode("utf-8", "replace")}))
    except Exception as e:  # the listener may be gone (a cancelled sign-in)
        log("FAIL " + json.dumps(str(e)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
