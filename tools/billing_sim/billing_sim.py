#!/usr/bin/env python3
"""Billing API simulator for tests and demos (Python 3 standard library only).

Answers the two requests of the balance query the way the provider's API does:
  GET /user/v1/login?userName=C&password=H
      a known account (C:H given with --account) gets <token>T</token>,
      anyone else an error page without a token element
  GET /user/v1/getDynamicInfo?token=T
      UTF-8 <balance>..</balance><balanceInfo>..</balanceInfo> for a known token,
      an error page without those elements otherwise
  GET .../redirect?code=N&to=L&hops=K
      status N with a body; Location L when K is 1 (default), otherwise
      the same path with K - 1 hops left; no Location header when L is empty
  any other path: a 404 page with a body
Plain HTTP and HTTPS, each on its own port of one 127.0.0.x address.  Replies
are HTTP/1.0 and the connection is closed after each one.

Command line:
  billing_sim.py --address 127.0.0.5 --certs DIR [options]
    --address A         listen address; must be inside 127.0.0.0/8 (default 127.0.0.1)
    --http-port P       plain HTTP port, 0 = none (default 80)
    --https-port P      HTTPS port, 0 = none (default 443)
    --certs DIR         output directory of make_certs.sh (needed for HTTPS)
    --cert KIND         good | mismatch | expired | untrusted (default good)
    --account C:H       a known account (repeatable); H as it appears in the URL
    --token T           token handed out on login (default 7f3a9c2e51b04d68; may be empty)
    --balance TEXT      balance element text (default 1234.56)
    --balance-info TEXT balanceInfo element text (default 31)
    --fault MODE        none (default) or one of:
        no-length        no Content-Length; the body ends when the connection closes
        long-length      Content-Length announces --extra bytes more than are sent
        slow-body        body sent in pieces of 100 bytes, 50 ms apart (with Content-Length)
        status-404       404 page with a body
        status-500       the API's own reply, sent with status 500
        no-token         login reply without a token element, even for known accounts
        no-balance-info  dynamic-info reply without balanceInfo
        no-elements      dynamic-info reply without balance and balanceInfo
        tls-reset        HTTPS connections are reset during the handshake
        http-reset       plain connections are reset after the request arrives
        endless          no Content-Length and a body that never ends (bounded by
                         --endless-limit bytes and 120 s)
        huge-length      Content-Length --huge-length (default 4294967295), small body
        to-http          HTTPS requests are redirected (302) to the same target over plain HTTP
    --fault-path TEXT   apply --fault only to requests whose path contains TEXT
    --body-size N       replace every reply body by N bytes of filler (benchmarks,
                        size tests; N = 0 gives Content-Length: 0)
    --extra N           bytes missing with long-length (default 40)
    --huge-length N     the value announced by huge-length
    --endless-limit N   bytes after which an endless body stops (default 256 MiB)
    --log FILE          JSON line per event (default: none).  Requests:
                        {"event":"request","scheme","port","peer","request_line",
                         "method","target","version","headers":[[name,value],...],"raw":...}
                        others: {"event":"tls-reset"|"tls-failed"|"http-reset",...}
    --ready FILE        written ("ready\\n") once every port listens, removed on exit;
                        "ready" is also printed on stdout
    --owner PID         stop once process PID has ended (exit 1 if it already has)
Stops cleanly on SIGTERM or SIGINT, or when the owner ends (exit 0).  Exit 2 when a port cannot be bound.
tools/billing_sim/sim.sh starts it in the background and waits until it is ready.
"""

import argparse
import ipaddress
import json
import os
import select
import signal
import socket
import ssl
import struct
import sys
import threading
import time
import urllib.parse

MAX_HEAD = 64 * 1024
IO_TIMEOUT = 10.0
ENDLESS_SECONDS = 120.0


def parse_args(argv):
    p = argparse.ArgumentParser(description="billing API simulator")
    p.add_argument("--address", default="127.0.0.1")
    p.add_argument("--http-port", type=int, default=80)
    p.add_argument("--https-port", type=int, default=443)
    p.add_argument("--certs")
    p.add_argument("--cert", default="good", choices=["good", "mismatch", "expired", "untrusted"])
    p.add_argument("--account", action="append", default=[])
    p.add_argument("--token", default="7f3a9c2e51b04d68")
    p.add_argument("--balance", default="1234.56")
    p.add_argument("--balance-info", default="31")
    p.add_argument("--fault", default="none", choices=[
        "none", "no-length", "long-length", "slow-body", "status-404", "status-500",
        "no-token", "no-balance-info", "no-elements", "tls-reset", "http-reset",
        "endless", "huge-length", "to-http"])
    p.add_argument("--fault-path", default="")
    p.add_argument("--body-size", type=int, default=-1)
    p.add_argument("--extra", type=int, default=40)
    p.add_argument("--huge-length", type=int, default=4294967295)
    p.add_argument("--endless-limit", type=int, default=256 * 1024 * 1024)
    p.add_argument("--log")
    p.add_argument("--ready")
    p.add_argument("--owner", type=int)
    args = p.parse_args(argv)
    if not ipaddress.ip_address(args.address) in ipaddress.ip_network("127.0.0.0/8"):
        p.error("--address must be inside 127.0.0.0/8")
    if args.https_port and not args.certs:
        p.error("--certs is needed for HTTPS (or --https-port 0)")
    accounts = {}
    for entry in args.account:
        contract, sep, passhash = entry.partition(":")
        if not sep:
            p.error("--account takes CONTRACT:PASSHASH")
        accounts[contract] = passhash
    args.accounts = accounts
    return args


class Log:
    def __init__(self, path):
        self.lock = threading.Lock()
        self.file = open(path, "a", encoding="utf-8") if path else None

    def write(self, record):
        if self.file is None:
            return
        record["time"] = round(time.time(), 3)
        line = json.dumps(record, ensure_ascii=False)
        with self.lock:
            self.file.write(line + "\n")
            self.file.flush()


def read_head(conn):
    """The request head up to the blank line, or None."""
    data = b""
    while b"\r\n\r\n" not in data and b"\n\n" not in data:
        if len(data) > MAX_HEAD:
            return None
        chunk = conn.recv(4096)
        if not chunk:
            return data or None
        data += chunk
    return data


def parse_head(raw):
    text = raw.decode("latin-1")
    lines = text.replace("\r\n", "\n").split("\n")
    request_line = lines[0]
    headers = []
    for line in lines[1:]:
        if line == "":
            break
        name, _, value = line.partition(":")
        headers.append([name, value.strip()])
    parts = request_line.split(" ")
    method = parts[0] if parts else ""
    target = parts[1] if len(parts) > 1 else ""
    version = parts[2] if len(parts) > 2 else ""
    return request_line, method, target, version, headers


def error_page(code, reason):
    return ("<html><head><title>%d %s</title></head><body><h1>%s</h1></body></html>\n"
            % (code, reason, reason)).encode("utf-8")


def api_reply(args, target, faulty):
    """(status, reason, body) for the API itself, before delivery faults."""
    url = urllib.parse.urlsplit(target)
    query = dict(urllib.parse.parse_qsl(url.query, keep_blank_values=True))
    raw_query = dict(pair.partition("=")[::2] for pair in url.query.split("&") if pair)
    fault = args.fault if faulty else "none"
    if url.path == "/user/v1/login":
        contract = raw_query.get("userName", "")
        given = raw_query.get("password", "")
        known = contract in args.accounts and (
            given == args.accounts[contract]
            or urllib.parse.unquote(given) == urllib.parse.unquote(args.accounts[contract]))
        if known and fault != "no-token":
            body = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<login><token>%s</token></login>\n" % args.token
        else:
            body = ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                    "<error><code>401</code><message>Invalid user name or password</message></error>\n")
        return 200, "OK", body.encode("utf-8")
    if url.path == "/user/v1/getDynamicInfo":
        if query.get("token") != args.token:
            body = ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                    "<error><code>403</code><message>Invalid token</message></error>\n")
            return 200, "OK", body.encode("utf-8")
        elements = "<balance>%s</balance><balanceInfo>%s</balanceInfo>" % (args.balance, args.balance_info)
        if fault == "no-balance-info":
            elements = "<balance>%s</balance>" % args.balance
        elif fault == "no-elements":
            elements = "<status>active</status>"
        body = ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<dynamicInfo>%s<tariff>Базовый</tariff>"
                "</dynamicInfo>\n" % elements)
        return 200, "OK", body.encode("utf-8")
    if url.path.endswith("/redirect"):
        return redirect_reply(url.path, query)
    return 404, "Not Found", error_page(404, "Not Found")


def redirect_reply(path, query):
    code = int(query.get("code", "302"))
    hops = int(query.get("hops", "1"))
    location = query.get("to", "")
    if hops > 1:
        location = path + "?" + urllib.parse.urlencode({"code": code, "to": location, "hops": hops - 1})
    headers = "Location: %s\r\n" % location if location else ""
    return code, "Moved", error_page(code, "Moved"), headers


def filler(size):
    pattern = b"0123456789abcdefghijklmnopqrstuvwxyz\n"
    return (pattern * (size // len(pattern) + 1))[:size]


def send_reply(conn, args, target, faulty):
    status, reason, body, *extra = api_reply(args, target, faulty)
    fault = args.fault if faulty else "none"
    if args.body_size >= 0:
        body = filler(args.body_size)
    if fault == "status-404":
        status, reason, body = 404, "Not Found", error_page(404, "Not Found")
    elif fault == "status-500":
        status, reason = 500, "Internal Server Error"
    head = "HTTP/1.0 %d %s\r\nContent-Type: text/xml; charset=utf-8\r\n" % (status, reason)
    head += "".join(extra)
    if fault == "long-length":
        head += "Content-Length: %d\r\n" % (len(body) + args.extra)
    elif fault == "huge-length":
        head += "Content-Length: %d\r\n" % args.huge_length
    elif fault not in ("no-length", "endless"):
        head += "Content-Length: %d\r\n" % len(body)
    head += "Connection: close\r\n\r\n"
    conn.sendall(head.encode("latin-1"))
    if fault == "endless":
        send_endless(conn, args.endless_limit)
    elif fault == "slow-body":
        for start in range(0, len(body), 100):
            conn.sendall(body[start:start + 100])
            time.sleep(0.05)
    else:
        conn.sendall(body)


def send_endless(conn, limit):
    piece = filler(64 * 1024)
    sent = 0
    deadline = time.monotonic() + ENDLESS_SECONDS
    while sent < limit and time.monotonic() < deadline:
        conn.sendall(piece)
        sent += len(piece)


def reset(sock):
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
    sock.close()


def serve_connection(args, log, sock, peer, scheme, port, tls):
    sock.settimeout(IO_TIMEOUT)
    conn = sock
    try:
        if tls is not None:
            if args.fault == "tls-reset":
                sock.recv(4096)  # the ClientHello, unanswered
                log.write({"event": "tls-reset", "port": port, "peer": peer})
                reset(sock)
                return
            try:
                conn = tls.wrap_socket(sock, server_side=True)
            except (ssl.SSLError, OSError) as e:
                log.write({"event": "tls-failed", "port": port, "peer": peer, "error": str(e)})
                return
        raw = read_head(conn)
        if raw is None:
            return
        request_line, method, target, version, headers = parse_head(raw)
        log.write({"event": "request", "scheme": scheme, "port": port, "peer": peer,
                   "request_line": request_line, "method": method, "target": target,
                   "version": version, "headers": headers, "raw": raw.decode("latin-1")})
        faulty = args.fault_path in target
        if faulty and args.fault == "to-http" and tls is not None:
            target = "/redirect?to=" + urllib.parse.quote("http://%s%s" % (args.address, target), safe="")
        if faulty and args.fault == "http-reset" and tls is None:
            log.write({"event": "http-reset", "port": port, "peer": peer})
            reset(sock)
            return
        send_reply(conn, args, target, faulty)
        if tls is not None:
            # close_notify goes out; the peer's own is not awaited.
            conn.setblocking(False)
            try:
                conn.unwrap()
            except (ssl.SSLError, OSError):
                pass
        conn.shutdown(socket.SHUT_RDWR)
    except (OSError, ssl.SSLError):
        pass
    finally:
        try:
            conn.close()
            sock.close()
        except OSError:
            pass


def listen(address, port):
    s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.bind((address, port))
    s.listen(64)
    s.settimeout(0.05)
    return s


def accept_loop(args, log, listener, scheme, port, tls, stop):
    while not stop.is_set():
        try:
            sock, peer = listener.accept()
        except socket.timeout:
            continue
        except OSError:
            if stop.is_set():
                return
            continue
        t = threading.Thread(target=serve_connection,
                             args=(args, log, sock, "%s:%d" % peer, scheme, port, tls), daemon=True)
        t.start()


def tls_context(args):
    ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    ctx.minimum_version = ssl.TLSVersion.TLSv1_2
    ctx.load_cert_chain(os.path.join(args.certs, args.cert + ".pem"),
                        os.path.join(args.certs, args.cert + ".key"))
    return ctx


def main(argv):
    args = parse_args(argv)
    log = Log(args.log)
    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    signal.signal(signal.SIGINT, lambda *_: stop.set())
    # A pidfd, not the bare number: it cannot come to name a later process that reuses the id.
    try:
        owner = [os.pidfd_open(args.owner)] if args.owner else []
    except OSError as e:
        print("billing_sim: owner %d: %s" % (args.owner, e), file=sys.stderr)
        return 1
    servers = []
    try:
        if args.http_port:
            servers.append((listen(args.address, args.http_port), "http", args.http_port, None))
        if args.https_port:
            servers.append((listen(args.address, args.https_port), "https", args.https_port, tls_context(args)))
    except OSError as e:
        print("billing_sim: cannot listen on %s: %s" % (args.address, e), file=sys.stderr)
        return 2
    threads = [threading.Thread(target=accept_loop, args=(args, log) + s + (stop,), daemon=True)
               for s in servers]
    for t in threads:
        t.start()
    if args.ready:
        with open(args.ready, "w") as f:
            f.write("ready\n")
    print("ready", flush=True)
    while not stop.is_set():
        if select.select(owner, [], [], 0.05)[0]:
            stop.set()
    for t in threads:
        t.join(2)
    for s in servers:
        s[0].close()
    if args.ready:
        os.remove(args.ready)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
