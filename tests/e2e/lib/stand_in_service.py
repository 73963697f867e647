# The stand-in for both upload services: answers each request as its
# service would, keeps every request's bytes in WORK/wu-N or WORK/wc-N,
# writes its port to WORK/port and stops by itself after SECONDS (90).
import socket, sys, time
work = sys.argv[1]
seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 90
listener = socket.socket()
listener.bind(("127.0.0.1", 0))
listener.listen(8)
open(work + "/port", "w").write(str(listener.getsockname()[1]))
deadline = time.time() + seconds
count = 0
while time.time() < deadline:
    listener.settimeout(max(0.1, deadline - time.time()))
    try:
        c, _ = listener.accept()
    except socket.timeout:
        break
    c.settimeout(10)
    data = b""
    try:
        while b"\r\n\r\n\0" not in data:
            chunk = c.recv(1024)
            if not chunk:
                break
            data += chunk
    except socket.timeout:
        pass
    count += 1
    kind = "wc" if data.startswith(b"GET /v01/set/") else "wu"
    open("%s/%s-%d" % (work, kind, count), "wb").write(data)
    c.sendall(b"HTTP/1.0 200 OK\r\n\r\nsuccess\n" if kind == "wu" else b"HTTP/1.1 200 OK\r\n\r\n401")
    c.close()
