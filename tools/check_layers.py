#!/usr/bin/env python3
"""Checks the include structure of src/: every folder includes only folders
below it in the layer order, nothing below the widget line includes a
QtWidgets (or other GUI) header, and no two components (a header with its source
file) depend on each other through a chain of includes. Prints each violation and exits 1 when there is one.
"""
import os
import re
import sys

# Top to bottom. A folder may include itself and anything after it.
LAYERS = ['app', 'ui', 'send', 'ops', 'demo', 'pop3', 'oauth', 'config', 'addressbook', 'render', 'model', 'mime', 'net',
          'lang', 'platform', 'core']
WIDGET_LINE = LAYERS.index('ui')  # layers after this index have no widgets
GUI_HEADER = re.compile(r'#include <(QtWidgets/|QtGui/|QtMultimedia/|QtWebEngine\w*/)?'
                        r'(QWidget|QDialog|QMainWindow|QApplication|QLabel|QPushButton|QAction|'
                        r'QMenu|QMessageBox|QTreeWidget|QTableView|QLineEdit|QComboBox|QCheckBox|'
                        r'QSystemTrayIcon|QSoundEffect|QMediaPlayer|QPainter|QWebEngine\w*|QStyle\w*|'
                        r'QAbstractItemView|QHeaderView|QToolButton|QFileDialog)>')
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def layer_of(path):
    """path is relative to src/; the layer is its top folder."""
    return path.split('/')[0]


def main(root):
    src = os.path.join(root, 'src')
    files = {}
    for dirpath, _, names in os.walk(src):
        for n in names:
            if n.endswith(('.h', '.cpp')):
                full = os.path.join(dirpath, n)
                rel = os.path.relpath(full, src)
                with open(full, encoding='utf-8') as f:
                    files[rel] = f.read()
    problems = []
    graph = {}
    for rel, text in sorted(files.items()):
        me = layer_of(rel)
        if me not in LAYERS:
            problems.append(f'{rel}: folder "{me}" has no place in the layer order')
            continue
        unit = os.path.splitext(rel)[0]
        graph.setdefault(unit, [])
        for inc in INCLUDE.findall(text):
            if inc not in files:
                continue  # generated or outside src/
            if os.path.splitext(inc)[0] != unit:
                graph[unit].append(os.path.splitext(inc)[0])
            other = layer_of(inc)
            if LAYERS.index(other) < LAYERS.index(me):
                problems.append(f'{rel}: includes "{inc}" from the higher layer {other}')
        if LAYERS.index(me) > WIDGET_LINE:
            for m in GUI_HEADER.finditer(text):
                problems.append(f'{rel}: includes the widget header <{m.group(2)}> below the '
                                'widget line')
    # Cycles among components (depth-first search with colours).
    colour = {}

    def visit(node, stack):
        colour[node] = 1
        stack.append(node)
        for nxt in graph.get(node, []):
            if colour.get(nxt) == 1:
                problems.append('dependency cycle: ' + ' -> '.join(stack[stack.index(nxt):] + [nxt]))
            elif colour.get(nxt) is None:
                visit(nxt, stack)
        stack.pop()
        colour[node] = 2

    for node in sorted(graph):
        if colour.get(node) is None:
            visit(node, [])
    for p in problems:
        print(p)
    if problems:
        return 1
    print(f'layers: {len(files)} files checked, no violation')
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else
                  os.path.join(os.path.dirname(os.path.abspath(__file__)), '..')))
