#!/usr/bin/python3
"""Checks the browser view that `make run` prints, as a browser meets it:
the page is noVNC, its web socket leads to a VNC server that refuses a
wrong password and takes the one in the address; and, asked to, clicks
there as a user would.

    novnc_check.py ADDRESS [X Y]      (X Y: a left click at that point)

Prints the screen's size; exits non-zero at the first thing that is wrong.
"""
import struct
import sys
import urllib.parse
import urllib.request

from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes
import websocket

VNC_AUTH, NO_AUTH = 2, 1


class Rfb:
    """The RFB byte stream carried in web socket messages."""

    def __init__(self, port):
        self.ws = websocket.create_connection(
            f"ws://127.0.0.1:{port}/websockify", subprotocols=["binary"],
            timeout=10)
        self.pending = b""

    def read(self, n):
        while len(self.pending) < n:
            message = self.ws.recv()
            if not message:
                sys.exit("the VNC server closed the connection")
            self.pending += message
        data, self.pending = self.pending[:n], self.pending[n:]
        return data

    def send(self, data):
        self.ws.send_binary(data)

    def security_types(self):
        version = self.read(12)
        if not version.startswith(b"RFB 003."):
            sys.exit(f"not a VNC server: {version!r}")
        self.send(b"RFB 003.008\n")
        count = self.read(1)[0]
        return list(self.read(count))

    def authenticate(self, password):
        """VNC authentication: the challenge encrypted by DES with the
        password, each byte's bits reversed, as the key. True if taken."""
        self.send(bytes([VNC_AUTH]))
        challenge = self.read(16)
        key = bytes(int(f"{b:08b}"[::-1], 2)
                    for b in password.encode()[:8].ljust(8, b"\0"))
        encryptor = Cipher(algorithms.TripleDES(key), modes.ECB()).encryptor()
        self.send(encryptor.update(challenge) + encryptor.finalize())
        return struct.unpack(">I", self.read(4))[0] == 0


def main():
    address = sys.argv[1]
    url = urllib.parse.urlsplit(address)
    password = urllib.parse.parse_qs(url.fragment)["password"][0]

    with urllib.request.urlopen(address, timeout=10) as page:
        if b"noVNC" not in page.read():
            sys.exit("the page is not noVNC")

    wrong = Rfb(url.port)
    types = wrong.security_types()
    if VNC_AUTH not in types or NO_AUTH in types:
        sys.exit(f"the VNC server does not insist on a password: {types}")
    if wrong.authenticate(password[::-1] + "x"):
        sys.exit("the VNC server took a wrong password")

    right = Rfb(url.port)
    right.security_types()
    if not right.authenticate(password):
        sys.exit("the VNC server refused the password in the address")
    right.send(b"\1")  # shared, as noVNC asks
    # ServerInit, whole: the size, the pixel format, the desktop's name.
    width, height = struct.unpack(">HH", right.read(4))
    right.read(16)
    (name_length,) = struct.unpack(">I", right.read(4))
    name = right.read(name_length)
    print(f"screen {width}x{height}, {name.decode(errors='replace')}")
    if len(sys.argv) == 4:
        x, y = int(sys.argv[2]), int(sys.argv[3])
        for buttons in (1, 0):  # press, release
            right.send(struct.pack(">BBHH", 5, buttons, x, y))
        # "Uscita" ends Sestor, and make run then stops the VNC server: the
        # connection closes (make-run.sh checks how the run ended).
        try:
            while right.ws.recv():
                pass
        except websocket.WebSocketTimeoutException:
            sys.exit("the click had no effect")
        except (websocket.WebSocketConnectionClosedException, ConnectionError):
            pass


if __name__ == "__main__":
    main()
