#!/usr/bin/python3
"""Takes a picture of the page that `make run` prints, as headless Chromium
shows it, once noVNC has connected and drawn the dialog.

    scripts/browser-screenshot.py ADDRESS OUT.png

The address (it holds the VNC password) goes to Chromium through its
debugging socket, not on its command line.
"""
import base64
import json
import subprocess
import sys
import tempfile
import time
import urllib.request

import websocket

DEBUG_PORT = 9339


def main():
    address, out = sys.argv[1], sys.argv[2]
    with tempfile.TemporaryDirectory() as profile:
        browser = subprocess.Popen(
            ["chromium", "--headless=new", "--no-sandbox", "--disable-gpu",
             "--disable-quic", "--no-first-run",
             "--disable-background-networking", "--disable-component-update",
             "--disable-sync", f"--user-data-dir={profile}",
             "--window-size=760,520", f"--remote-debugging-port={DEBUG_PORT}",
             "about:blank"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            for _ in range(100):
                try:
                    with urllib.request.urlopen(
                            f"http://127.0.0.1:{DEBUG_PORT}/json") as r:
                        pages = [p for p in json.load(r) if p["type"] == "page"]
                    if pages:
                        break
                except OSError:
                    pass
                time.sleep(0.1)
            tab = websocket.create_connection(pages[0]["webSocketDebuggerUrl"],
                                              timeout=30)

            def call(n, method, **params):
                tab.send(json.dumps({"id": n, "method": method,
                                     "params": params}))
                while True:
                    answer = json.loads(tab.recv())
                    if answer.get("id") == n:
                        return answer.get("result", {})

            call(1, "Page.navigate", url=address)
            time.sleep(6)  # connect, authenticate, draw
            shot = call(2, "Page.captureScreenshot", format="png")
            with open(out, "wb") as f:
                f.write(base64.b64decode(shot["data"]))
        finally:
            browser.terminate()
            browser.wait()


if __name__ == "__main__":
    main()
