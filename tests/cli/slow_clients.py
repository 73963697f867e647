# Clients that hold a web server's connections: argv[1] the port, argv[2]
# what to do. Prints what the client saw, one "name: result" line each.
#   trickle  one request whose header comes a line a second for 25 s
#   crowd    8 stalled connections from each of three addresses, then a
#            ninth from the first of them and one from another client
import socket, sys, time

port, mode = int(sys.argv[1]), sys.argv[2]

def first_line(s, wait):
    s.settimeout(wait)
    try:
        data = s.recv(200)
        return data.split(b"\r\n")[0].decode() if data else "closed"
    except socket.timeout:
        return "no answer"
    except OSError:
        return "closed"

def stalled(address):
    s = socket.socket()
    s.bind((address, 0))
    s.connect(("127.0.0.1", port))
    s.sendall(b"GET /api/live HTTP/1.1\r\nHost: 127.0.0.1\r\n")
    return s

if mode == "trickle":
    s = socket.create_connection(("127.0.0.1", port))
    s.sendall(b"GET /api/live HTTP/1.1\r\n")
    start, seen = time.time(), "never"
    while time.time() - start < 25:
        try:
            s.sendall(b"X-Slow: 1\r\n")
        except OSError:
            seen = "closed"
            break
        seen = first_line(s, 1)
        if seen != "no answer":
            break
    print("trickle: cut" if seen != "no answer" else "trickle: still open after 25 s")
else:
    held = [stalled("127.0.0.%d" % c) for c in (2, 3, 4) for _ in range(8)]
    time.sleep(0.5)
    print("ninth:", first_line(stalled("127.0.0.2"), 3))
    other = socket.create_connection(("127.0.0.1", port))
    other.sendall(b"GET /api/live HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n")
    print("other:", first_line(other, 3))
