#!/usr/bin/env python3
"""A small TDS 7.4 server for the tests: enough of SQL Server's wire protocol
for FreeTDS's ODBC driver to log in, send batches and prepared statements,
cancel, and lose its connection. It listens on 127.0.0.1 only, answers from a
plan (a JSON file, read again whenever it changes) and writes what it received
to a log, one JSON array a line.

    tds_server.py DIR

reads its plan from DIR/plan.json, logs to DIR/log and writes its port to
DIR/port once it listens.

Plan: {"login": "accept" | "refuse" | "silent" | {"user": U, "password": P},
       "rules": [{"match": TEXT, "times": N, "action": ACTION, ...}]}
A rule applies to a batch or prepared statement whose text contains TEXT
(any case), at most N times (default: always); the first that applies answers.
Actions: "error" (number, severity, state, message), "rows" (columns: [[name,
"int"|"tinyint"|"nvarchar"]], rows: [[...]]), "close" (the connection is
closed), "reset" (reset), "hang" (no answer until an attention, which is
acknowledged when "ack" is true). Anything else is answered with DONE, but for
sp_getapplock / sp_releaseapplock in a batch, which are answered as the server
does: a session's application lock, granted (0) unless another connection holds
it (-1), read back by a SELECT in the same batch; let go when the connection ends.
Log lines, JSON arrays: ["login", USER, PASSWORD, DATABASE], ["batch", SQL],
["rpc", PROC, SQL, DECLARED, "TYPE=VALUE"...], ["attention"].
"""
import json
import os
import socket
import struct
import sys
import threading

PLAN, LOG, PORTFILE = (os.path.join(sys.argv[1], name) for name in ("plan.json", "log", "port"))
lock = threading.Lock()
plan = {"text": None, "data": {}, "used": {}}
applocks = {}  # resource -> number of the connection that holds it


def current_plan():
    try:
        with open(PLAN) as f:
            text = f.read()
    except OSError:
        text = "{}"
    with lock:
        if text != plan["text"]:
            plan.update(text=text, data=json.loads(text or "{}"), used={})
        return plan["data"]


def log(*fields):
    """One line: the fields as a JSON array of strings."""
    with lock, open(LOG, "a") as f:
        f.write(json.dumps(["NULL" if v is None else str(v) for v in fields]) + "\n")


def take_rule(sql):
    rules = current_plan().get("rules", [])
    with lock:
        for i, rule in enumerate(rules):
            if rule.get("match", "").lower() not in sql.lower():
                continue
            used = plan["used"].get(i, 0)
            if "times" in rule and used >= rule["times"]:
                continue
            plan["used"][i] = used + 1
            return rule
    return None


def ucs2(s):
    return s.encode("utf-16-le")


def b_varchar(s):
    return bytes([len(s)]) + ucs2(s)


def us_varchar(s):
    return struct.pack("<H", len(s)) + ucs2(s)


def done(token=0xFD, status=0, count=0):
    return struct.pack("<BHHQ", token, status | (0x10 if count else 0), 0, count)


def error_token(number, severity, state, message):
    body = struct.pack("<iBB", number, state, severity) + us_varchar(message) + b_varchar("tdstest") \
        + b_varchar("") + struct.pack("<i", 1)
    return struct.pack("<BH", 0xAA, len(body)) + body


def env_change(kind, new, old):
    body = bytes([kind]) + b_varchar(new) + b_varchar(old)
    return struct.pack("<BH", 0xE3, len(body)) + body


COLLATION = bytes([0x09, 0x04, 0xD0, 0x00, 0x34])
TYPES = {"int": (0x26, 4), "tinyint": (0x26, 1)}


def result_set(columns, rows):
    out = bytearray([0x81]) + struct.pack("<H", len(columns))
    for name, kind in columns:
        out += struct.pack("<IH", 0, 0x0001)
        if kind in TYPES:
            out += bytes(TYPES[kind])
        else:
            out += bytes([0xE7]) + struct.pack("<H", 8000) + COLLATION
        out += b_varchar(name)
    for row in rows:
        out.append(0xD1)
        for (name, kind), value in zip(columns, row):
            if kind in TYPES:
                size = TYPES[kind][1]
                out += b"\x00" if value is None else bytes([size]) + int(value).to_bytes(size, "little", signed=kind == "int")
            else:
                out += b"\xff\xff" if value is None else struct.pack("<H", len(ucs2(str(value)))) + ucs2(str(value))
    return bytes(out) + done(count=len(rows))


class Connection:
    def __init__(self, sock, number):
        self.sock, self.number, self.hanging = sock, number, None

    def read_message(self):
        data, kind = b"", None
        while True:
            header = self.recv(8)
            if header is None:
                return None, None
            kind, status, length = header[0], header[1], struct.unpack(">H", header[2:4])[0]
            body = self.recv(length - 8)
            if body is None:
                return None, None
            data += body
            if status & 0x01:
                return kind, data

    def recv(self, n):
        out = b""
        while len(out) < n:
            try:
                chunk = self.sock.recv(n - len(out))
            except OSError:
                return None
            if not chunk:
                return None
            out += chunk
        return out

    def send(self, payload, kind=0x04):
        for start in range(0, max(len(payload), 1), 4000):
            part = payload[start:start + 4000]
            last = start + 4000 >= len(payload)
            self.sock.sendall(struct.pack(">BBHHBB", kind, 1 if last else 0, len(part) + 8, 0, 1, 0) + part)

    def serve(self):
        try:
            self.serve_messages()
        finally:
            with lock:
                for resource in [r for r, n in applocks.items() if n == self.number]:
                    del applocks[resource]

    def serve_messages(self):
        while True:
            kind, data = self.read_message()
            if kind is None:
                return
            if kind == 0x12:
                self.prelogin()
            elif kind == 0x10:
                if not self.login(data):
                    return
            elif kind == 0x01:
                headers = struct.unpack("<I", data[:4])[0]
                sql = data[headers:].decode("utf-16-le")
                log("batch", sql)
                if not self.reply(sql, 0xFD, b""):
                    return
            elif kind == 0x03:
                if not self.rpc(data):
                    return
            elif kind == 0x06:
                log("attention")
                if self.hanging is None or self.hanging.get("ack", True):
                    self.send(done(status=0x0020))
                self.hanging = None

    def prelogin(self):
        options = [(0, struct.pack(">IH", 0x0F000000, 0)), (1, b"\x02"), (2, b"\x00"), (3, b"\x00" * 4), (4, b"\x00")]
        offset, head, body = 5 * len(options) + 1, b"", b""
        for token, value in options:
            head += struct.pack(">BHH", token, offset + len(body), len(value))
            body += value
        self.send(head + b"\xff" + body)

    def login(self, data):
        def field(at):
            off, count = struct.unpack("<HH", data[at:at + 4])
            return data[off:off + 2 * count]
        user = field(40).decode("utf-16-le")
        raw = bytes(((b ^ 0xA5) >> 4 | ((b ^ 0xA5) & 0x0F) << 4) for b in field(44))
        password = raw.decode("utf-16-le")
        log("login", user, password, field(68).decode("utf-16-le"))
        rule = current_plan().get("login", "accept")
        if rule == "silent":
            while self.recv(1) is not None:
                pass
            return False
        if rule == "refuse" or (isinstance(rule, dict) and (rule.get("user"), rule.get("password")) != (user, password)):
            self.send(error_token(18456, 14, 1, "Login failed for user '%s'." % user) + done(status=0x0002))
            return False
        ack = struct.pack("<B", 1) + bytes([0x74, 0, 0, 4]) + b_varchar("tdstest") + bytes([15, 0, 0, 0])
        self.send(env_change(1, "sv", "master") + env_change(4, "4096", "4096")
                  + struct.pack("<BH", 0xAD, len(ack)) + ack + done())
        return True

    def answer(self, sql, final, extra, more_rpcs=False):
        """Answers a batch (final DONE) or a statement inside an RPC (DONEINPROC, then extra).
        Returns the reply's bytes, or None when the connection is closed or the statement hangs."""
        rule = take_rule(sql) or {}
        action = rule.get("action")
        if action is None and final == 0xFD and "applock" in sql.lower():
            return self.applock(sql)
        if action == "close":
            self.sock.close()
            return None
        if action == "reset":
            self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            self.sock.close()
            return None
        if action == "hang":
            self.hanging = rule
            return None
        # Inside an RPC the statement's DONEINPROC says more follows (DONE_MORE).
        inner, more = (0xFF, 0x0001) if final == 0xFE else (0xFD, 0)
        if action == "error":
            body = error_token(rule.get("number", 50000), rule.get("severity", 16), rule.get("state", 1),
                               rule.get("message", "error")) + done(inner, status=0x0002 | more)
        elif action == "rows":
            body = result_set(rule["columns"], rule["rows"])
            body = body[:-13] + done(inner, status=more, count=len(rule["rows"]))
        else:
            body = done(inner, status=more)
        # The DONEPROC of an RPC that another follows in the same request says more follows.
        return body + extra + (done(final, status=0x0001 if more_rpcs else 0) if final == 0xFE else b"")

    def applock(self, sql):
        """EXEC @r = sp_getapplock @Resource = N'...' ...; SELECT @r, or EXEC sp_releaseapplock: the
        procedure's return status and DONEPROC, then the SELECT's row."""
        resource = sql.split("@Resource = N'", 1)[-1].split("'", 1)[0]
        with lock:
            holder = applocks.get(resource)
            if "sp_getapplock" in sql.lower():
                status = 0 if holder in (None, self.number) else -1
                if status == 0:
                    applocks[resource] = self.number
            else:
                status = 0 if holder == self.number else -999
                if status == 0:
                    del applocks[resource]
        body = struct.pack("<Bi", 0x79, status) + done(0xFE, status=0x0001)
        if "select" in sql.lower():
            return body + result_set([["", "int"]], [[status]])
        return body + done()

    def reply(self, sql, final, extra):
        body = self.answer(sql, final, extra)
        if body is not None:
            self.send(body)
        return body is not None or self.hanging is not None

    def rpc(self, data):
        """Answers a request of one or more RPCs (an array of parameter sets: one RPC per set, each after
        a batch separator, 0x80 or 0xFF) with one reply."""
        at = struct.unpack("<I", data[:4])[0]
        reply = b""
        while at < len(data):
            body, at = self.one_rpc(data, at)
            if body is None:
                return self.hanging is not None
            reply += body
        self.send(reply)
        return True

    def one_rpc(self, data, at):
        size = struct.unpack("<H", data[at:at + 2])[0]
        if size == 0xFFFF:
            proc, at = {10: "sp_executesql", 11: "sp_prepare", 12: "sp_execute", 13: "sp_prepexec",
                        15: "sp_unprepare"}.get(struct.unpack("<H", data[at + 2:at + 4])[0], "?"), at + 4
        else:
            proc, at = data[at + 2:at + 2 + 2 * size].decode("utf-16-le"), at + 2 + 2 * size
        at += 2  # option flags
        params = []
        while at < len(data) and data[at] not in (0x80, 0xFF):
            name_len = data[at]
            name = data[at + 1:at + 1 + 2 * name_len].decode("utf-16-le")
            at += 1 + 2 * name_len + 1  # name, status flags
            kind, value, at = read_value(data, at)
            params.append({"name": name, "type": kind, "value": value})
        more_rpcs = at < len(data)
        if more_rpcs:
            at += 1  # the separator
        # By position: sp_prepexec @handle, @params, @stmt, values; sp_prepare @handle,
        # @params, @stmt, @options; sp_executesql @stmt, @params, values; sp_execute @handle, values.
        layout = {"sp_prepexec": (2, 1, 3), "sp_prepare": (2, 1, None), "sp_executesql": (0, 1, 2),
                  "sp_execute": (None, None, 1)}.get(proc, (None, None, 0))
        statement = params[layout[0]]["value"] if layout[0] is not None and len(params) > layout[0] else None
        declared = params[layout[1]]["value"] if layout[1] is not None and len(params) > layout[1] else None
        values = params[layout[2]:] if layout[2] is not None else []
        if proc == "sp_execute":
            statement = getattr(self, "last_statement", None)
        log("rpc", proc, statement, declared, *["%s=%s" % (p["type"], p["value"]) for p in values])
        status = struct.pack("<Bi", 0x79, 0)
        handle = b""
        if proc in ("sp_prepexec", "sp_prepare"):
            handle = struct.pack("<BH", 0xAC, 0) + b_varchar("@handle") + bytes([1]) + struct.pack("<IH", 0, 0x0001) \
                + bytes([0x26, 4, 4]) + struct.pack("<i", 1)
        if proc == "sp_prepare" or proc == "sp_unprepare":
            if proc == "sp_prepare":
                self.last_statement = statement or ""
            return status + handle + done(0xFE, status=0x0001 if more_rpcs else 0), at
        self.last_statement = statement or getattr(self, "last_statement", "")
        return self.answer(self.last_statement, 0xFE, status + handle, more_rpcs), at


def read_value(data, at):
    """Reads TYPE_INFO and a value of an RPC parameter: (type name, value, next offset)."""
    t = data[at]
    at += 1
    fixed = {0x30: ("tinyint", 1), 0x34: ("smallint", 2), 0x38: ("int", 4), 0x7F: ("bigint", 8), 0x32: ("bit", 1)}
    if t in fixed:
        name, size = fixed[t]
        return name, int.from_bytes(data[at:at + size], "little", signed=name != "tinyint"), at + size
    if t in (0x26, 0x68, 0x6D, 0x6E, 0x6F):  # INTN, BITN, FLTN, MONEYN, DATETIMN
        at += 1
        size = data[at]
        raw = data[at + 1:at + 1 + size]
        names = {1: "tinyint", 2: "smallint", 4: "int", 8: "bigint"}
        name = names.get(size, "intn") if t == 0x26 else {0x68: "bit", 0x6D: "float", 0x6E: "money", 0x6F: "datetime"}[t]
        return name, (int.from_bytes(raw, "little", signed=name != "tinyint") if size and t in (0x26, 0x68) else
                      (raw.hex() if size else None)), at + 1 + size
    if t in (0x6A, 0x6C):  # DECIMALN, NUMERICN
        at += 3
        size = data[at]
        return "decimal", data[at + 1:at + 1 + size].hex() if size else None, at + 1 + size
    if t in (0xE7, 0xA7, 0xEF, 0xAF, 0xA5, 0xAD):  # n/var/char, var/binary
        maxlen = struct.unpack("<H", data[at:at + 2])[0]
        at += 2 + (5 if t in (0xE7, 0xA7, 0xEF, 0xAF) else 0)
        name = {0xE7: "nvarchar", 0xA7: "varchar", 0xEF: "nchar", 0xAF: "char", 0xA5: "varbinary", 0xAD: "binary"}[t]
        if maxlen == 0xFFFF:  # PLP: total length, then chunks up to a zero one
            total = struct.unpack("<Q", data[at:at + 8])[0]
            at += 8
            if total == 0xFFFFFFFFFFFFFFFF:
                return name, None, at
            raw = b""
            while True:
                chunk = struct.unpack("<I", data[at:at + 4])[0]
                at += 4
                if chunk == 0:
                    break
                raw, at = raw + data[at:at + chunk], at + chunk
        else:
            size = struct.unpack("<H", data[at:at + 2])[0]
            at += 2
            if size == 0xFFFF:
                return name, None, at
            raw, at = data[at:at + size], at + size
        return name, decode(name, raw), at
    if t in (0x63, 0x23):  # NTEXT, TEXT
        at += 4 + 5
        size = struct.unpack("<i", data[at:at + 4])[0]
        at += 4
        name = "ntext" if t == 0x63 else "text"
        return (name, None, at) if size < 0 else (name, decode(name, data[at:at + size]), at + size)
    raise ValueError("parameter type 0x%02x" % t)


def decode(name, raw):
    if name.startswith("n"):
        return raw.decode("utf-16-le")
    if "binary" in name:
        return raw.hex()
    return raw.decode("latin-1")


def main():
    # Ends with the test process that started it: that one holds our standard input.
    threading.Thread(target=lambda: (sys.stdin.read(), os._exit(0)), daemon=True).start()
    server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind(("127.0.0.1", 0))
    server.listen(16)
    with open(PORTFILE + ".tmp", "w") as f:
        f.write(str(server.getsockname()[1]))
    os.rename(PORTFILE + ".tmp", PORTFILE)
    number = 0
    while True:
        sock, _ = server.accept()
        number += 1
        threading.Thread(target=Connection(sock, number).serve, daemon=True).start()


if __name__ == "__main__":
    main()
