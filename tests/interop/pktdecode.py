#!/usr/bin/env python3
"""Decodes FTS-0001 mail the strict way a receiving tosser reads it.

  pktdecode.py pkt FILE   a type-2 packet: the 58-byte header, then packed messages
  pktdecode.py msg FILE   a stored message (N.msg): the 190-byte header, then the text

Prints one "key=value" line per field, for a test to look up with grep -x. Bytes outside
printable ASCII, and the backslash, are written as \\xNN. Packed messages are numbered from 1:
"m1.to=Sysop". Text is split at CR (an LF right after a CR is dropped): one "line=" per line.

Exits with 2, naming the fault, when the file does not hold that structure.
"""

import struct
import sys


class Malformed(Exception):
    pass


def show(data):
    out = []
    for b in data:
        if 0x20 <= b < 0x7F and b != 0x5C:
            out.append(chr(b))
        else:
            out.append("\\x%02x" % b)
    return "".join(out)


def emit(key, value):
    if isinstance(value, (bytes, bytearray)):
        value = show(value)
    print("%s=%s" % (key, value))


def emit_text(prefix, text):
    for line in text.split(b"\r"):
        if line.startswith(b"\n"):
            line = line[1:]
        emit(prefix + "line", line)


def cstring(data, pos, limit, what):
    """A NUL-terminated string starting at pos, at most limit bytes with its NUL."""
    end = data.find(b"\0", pos)
    if end < 0:
        raise Malformed("%s at offset %d has no terminating NUL" % (what, pos))
    if limit and end - pos + 1 > limit:
        raise Malformed("%s at offset %d is %d bytes long, more than %d with its NUL"
                        % (what, pos, end - pos + 1, limit))
    return data[pos:end], end + 1


def fixed_field(data, pos, size):
    """A NUL-padded field of a fixed size: its text, and the length of that text."""
    raw = data[pos:pos + size]
    nul = raw.find(b"\0")
    length = size if nul < 0 else nul
    return raw[:length], length, raw


def decode_packet(data):
    if len(data) < 58:
        raise Malformed("packet is %d bytes, shorter than its 58-byte header" % len(data))
    (orig_node, dest_node, year, month, day, hour, minute, second, _baud, pkt_type,
     orig_net, dest_net) = struct.unpack_from("<12H", data, 0)
    orig_zone, dest_zone = struct.unpack_from("<2H", data, 34)
    if pkt_type != 2:
        raise Malformed("packet type is %d, not 2" % pkt_type)
    emit("pkt.type", pkt_type)
    emit("pkt.orig", "%d:%d/%d" % (orig_zone, orig_net, orig_node))
    emit("pkt.dest", "%d:%d/%d" % (dest_zone, dest_net, dest_node))
    emit("pkt.created", "%04d-%02d-%02d %02d:%02d:%02d"
         % (year, month + 1, day, hour, minute, second))

    pos = 58
    count = 0
    while True:
        if pos + 2 > len(data):
            raise Malformed("packet ends at offset %d without its terminating zero word" % pos)
        (msg_type,) = struct.unpack_from("<H", data, pos)
        if msg_type == 0:
            pos += 2
            break
        if msg_type != 2:
            raise Malformed("message at offset %d has type %d, not 2" % (pos, msg_type))
        if pos + 34 > len(data):
            raise Malformed("message at offset %d is cut short" % pos)
        count += 1
        p = "m%d." % count
        (_t, m_orig_node, m_dest_node, m_orig_net, m_dest_net, attribute,
         cost) = struct.unpack_from("<7H", data, pos)
        emit(p + "orig", "%d/%d" % (m_orig_net, m_orig_node))
        emit(p + "dest", "%d/%d" % (m_dest_net, m_dest_node))
        emit(p + "attribute", "0x%04x" % attribute)
        emit(p + "cost", cost)
        # FTS-0001: DateTime is a fixed 20-byte field, "DD MMM YY  HH:MM:SS" and a NUL.
        text, length, raw = fixed_field(data, pos + 14, 20)
        emit(p + "datetime", text)
        emit(p + "datetime_len", length)
        emit(p + "datetime_field", raw)
        q = pos + 34
        to_name, q = cstring(data, q, 36, "to-name")
        from_name, q = cstring(data, q, 36, "from-name")
        subject, q = cstring(data, q, 72, "subject")
        body, q = cstring(data, q, 0, "message text")
        emit(p + "to", to_name)
        emit(p + "from", from_name)
        emit(p + "subject", subject)
        emit_text(p, body)
        pos = q
    emit("messages", count)
    emit("trailing_bytes", len(data) - pos)


def decode_message(data):
    if len(data) < 190:
        raise Malformed("message is %d bytes, shorter than its 190-byte header" % len(data))
    from_name = fixed_field(data, 0, 36)[0]
    to_name = fixed_field(data, 36, 36)[0]
    subject = fixed_field(data, 72, 72)[0]
    date_text, date_len, date_raw = fixed_field(data, 144, 20)
    (_read, dest_node, orig_node, cost, orig_net, dest_net) = struct.unpack_from("<6H", data, 164)
    (attribute,) = struct.unpack_from("<H", data, 186)
    emit("from", from_name)
    emit("to", to_name)
    emit("subject", subject)
    emit("datetime", date_text)
    emit("datetime_len", date_len)
    emit("datetime_field", date_raw)
    emit("orig", "%d/%d" % (orig_net, orig_node))
    emit("dest", "%d/%d" % (dest_net, dest_node))
    emit("attribute", "0x%04x" % attribute)
    emit("cost", cost)
    body, end = cstring(data, 190, 0, "message text")
    emit_text("", body)
    emit("trailing_bytes", len(data) - end)


def main(argv):
    if len(argv) != 3 or argv[1] not in ("pkt", "msg"):
        sys.stderr.write("usage: pktdecode.py pkt|msg FILE\n")
        return 2
    with open(argv[2], "rb") as f:
        data = f.read()
    try:
        (decode_packet if argv[1] == "pkt" else decode_message)(data)
    except Malformed as fault:
        sys.stdout.flush()
        sys.stderr.write("pktdecode: %s: %s\n" % (argv[2], fault))
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
