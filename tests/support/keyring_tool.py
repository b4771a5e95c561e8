#!/usr/bin/python3
"""The keyring of a test, seen from outside the program (python3-secretstorage
on the session bus of DBUS_SESSION_BUS_ADDRESS):

    keyring_tool.py items            every item of the default collection as
                                     JSON: label, attributes, secret (latin-1)
    keyring_tool.py lock             locks the default collection
    keyring_tool.py unlock PASSWORD  unlocks it again without a prompt
    keyring_tool.py wait             waits (10 s at most) for a Secret Service
    keyring_tool.py silent           owns the Secret Service's name and never
                                     answers a call (until killed)
"""

import json
import sys
import time

import secretstorage
from jeepney import DBusAddress, new_method_call
from jeepney.bus_messages import message_bus
from jeepney.io.blocking import open_dbus_connection
from secretstorage.util import format_secret, open_session

SERVICE = "org.freedesktop.secrets"


def items(conn):
    out = []
    for item in secretstorage.get_default_collection(conn).get_all_items():
        out.append({"label": item.get_label(), "attributes": item.get_attributes(),
                    "secret": item.get_secret().decode("latin-1")})
    json.dump(out, sys.stdout)


def unlock(conn, password):
    # GNOME Keyring's own interface for unlocking without its prompt.
    collection = secretstorage.get_default_collection(conn)
    address = DBusAddress("/org/freedesktop/secrets", bus_name=SERVICE,
                          interface="org.gnome.keyring.InternalUnsupportedGuiltRiddenInterface")
    secret = format_secret(open_session(conn), password.encode(), "text/plain")
    conn.send_and_get_reply(new_method_call(address, "UnlockWithMasterPassword", "o(oayays)",
                                            (collection.collection_path, secret)))
    if secretstorage.get_default_collection(conn).is_locked():
        sys.exit("still locked")


def wait():
    conn = open_dbus_connection(bus="SESSION")
    for _ in range(200):
        if conn.send_and_get_reply(message_bus.NameHasOwner(SERVICE)).body[0]:
            return
        time.sleep(0.05)
    sys.exit("no Secret Service on the bus")


def silent():
    conn = open_dbus_connection(bus="SESSION")
    conn.send_and_get_reply(message_bus.RequestName(SERVICE))
    while True:
        try:
            conn.receive()  # every call is read and left unanswered
        except ConnectionError:
            return


def main(argv):
    command = argv[1] if len(argv) > 1 else ""
    if command == "wait":
        return wait()
    if command == "silent":
        return silent()
    conn = secretstorage.dbus_init()
    if command == "items":
        items(conn)
    elif command == "lock":
        secretstorage.get_default_collection(conn).lock()
    elif command == "unlock" and len(argv) == 3:
        unlock(conn, argv[2])
    else:
        sys.exit(__doc__)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
