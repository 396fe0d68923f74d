#!/usr/bin/env python3
"""An independent model of `kivlog dump` for plain code page 932 trace files, written from the
format's rules, so that the program's output on real traces can be checked against it.

usage: kivlog_oracle.py FILE    (prints the expected dump without its "file" line)
"""
import sys

HEADER_PUNCTUATION = {0: b'[', 9: b']', 10: b'[', 15: b'/', 18: b'/', 21: b'(', 24: b':', 27: b':',
                      30: b'.', 34: b')', 35: b']'}


def is_lead(byte):
    return 0x81 <= byte <= 0x9F or 0xE0 <= byte <= 0xFC


def is_header(data, at):
    return len(data) - at >= 36 and all(data[at + k:at + k + 1] == v for k, v in HEADER_PUNCTUATION.items())


def read_lines(data):
    """Yields (line number, thread id, depth, kind, text bytes) as the reader finds them."""
    at, number = 0, 0
    while at < len(data):
        # The next header; a double-byte character is never the start of one.
        while at < len(data):
            if len(data) - at > 2 and is_lead(data[at]):
                at += 2
            elif is_header(data, at):
                break
            else:
                at += 1
        if at >= len(data):
            return
        remaining = len(data) - at
        length = 0
        while length < min(remaining, 1024):
            byte = data[at + length]
            if is_lead(byte):
                length += 2
            elif byte in (13, 10):
                break
            else:
                length += 1
        length = min(length, remaining)
        line = data[at:at + length]
        thread = int(line[1:9], 16)
        depth, kind, walk = 0, 'text', 36
        while walk + 2 <= length and line[walk] == 0x84:
            if line[walk + 1] == 0xA0:
                depth += 1
                walk += 2
                continue
            if line[walk + 1] == 0xA1:
                kind, walk = 'enter', walk + 2
            elif line[walk + 1] == 0xA4:
                kind, walk = 'return', walk + 2
            break
        number += 1
        yield number, thread, depth, kind, line[min(walk, length):length]
        at += min(length + 1, remaining)


class Node:
    def __init__(self, number=0, depth=0, text=b''):
        self.number, self.depth, self.text = number, depth, text
        self.children, self.end, self.is_block = [], None, False

    def last_block(self):
        for child in reversed(self.children):
            if child.is_block:
                return child
        return None


def quote(text):
    out = ['"']
    for char in text:
        if char in '\\"':
            out.append('\\' + char)
        elif ord(char) < 0x20:
            out.append('\\x%02X' % ord(char))
        else:
            out.append(char)
    return ''.join(out) + '"'


def decode(raw):
    return raw.decode('cp932', errors='replace')


def main(path):
    data = open(path, 'rb').read()
    threads = {}  # insertion order is first-line order
    for number, thread_id, depth, kind, text in read_lines(data):
        folder = threads.setdefault(thread_id, Node())
        for _ in range(depth):
            folder = folder.last_block()
            if folder is None:
                break
        if folder is None:
            continue
        node = Node(number, depth, text)
        if kind == 'text':
            folder.children.append(node)
        elif kind == 'enter':
            node.is_block = True
            folder.children.append(node)
        elif folder.last_block() is not None:
            folder.last_block().end = node

    def items(folder):
        return sum(1 + (items(c) + (1 if c.end else 0) if c.is_block else 0) for c in folder.children)

    def dump(folder, indent):
        for child in folder.children:
            mark = '>' if child.is_block else '-'
            print('%s%s %d %d %s' % (indent, mark, child.number, child.depth, quote(decode(child.text))))
            if child.is_block:
                dump(child, indent + '  ')
                if child.end:
                    print('%s< %d %d %s' % (indent, child.end.number, child.end.depth, quote(decode(child.end.text))))

    methods = {}  # entry text bytes -> [(line number, thread id, end line number)]
    namespace_order = []  # method keys in filing order

    def collect(folder, thread_id):
        for child in folder.children:
            if child.is_block:
                if child.text not in methods:
                    methods[child.text] = []
                    namespace_order.append(child.text)
                methods[child.text].append((child.number, thread_id, child.end.number if child.end else None))
                collect(child, thread_id)

    for thread_id, root in threads.items():
        print('thread %08X items %d' % (thread_id, items(root)))
        dump(root, '  ')
    for thread_id, root in threads.items():
        collect(root, thread_id)
    print('methods %d' % len(methods))
    for key in sorted(methods):
        calls = sorted(methods[key], key=lambda call: call[0])
        print('method %s calls %d threads %d' % (quote(decode(key)), len(calls), len({c[1] for c in calls})))
        for line, thread_id, end in calls:
            print('  call %d thread %08X end %s' % (line, thread_id, '-' if end is None else end))
    print('namespaces')
    tree = {}  # part -> (holds method, children)
    for key in namespace_order:
        parts = decode(key).split('::')
        level = tree
        for index, part in enumerate(parts):
            holds, children = level.get(part, (False, {}))
            level[part] = (holds or index == len(parts) - 1, children)
            level = children

    def print_tree(level, indent):
        for part, (holds, children) in level.items():
            print('%s%s%s' % (indent, quote(part), ' *' if holds else ''))
            print_tree(children, indent + '  ')

    print_tree(tree, '  ')


if __name__ == '__main__':
    main(sys.argv[1])
