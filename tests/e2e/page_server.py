"""Serves the pages of a folder on 127.0.0.1 at a free port, printing "port N" once listening.

A page whose name holds "slow" is sent in two parts: its head at once and the rest some seconds
later, as a large page on a slow network arrives: the browser shows the tab with its title while the
document is still loading."""
import http.server
import sys
import time

SLOW_SECONDS = 4


class Handler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def do_GET(self):
        if "slow" not in self.path:
            return super().do_GET()
        path = self.translate_path(self.path)
        try:
            with open(path, "rb") as page:
                body = page.read()
        except OSError:
            return self.send_error(404)
        head, _, rest = body.partition(b"</title>")
        self.send_response(200)
        self.send_header("Content-Type", "text/html; charset=utf-8")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(head + b"</title>")
        self.wfile.flush()
        time.sleep(SLOW_SECONDS)
        self.wfile.write(rest)


def main():
    folder = sys.argv[1]
    handler = lambda *args, **kwargs: Handler(*args, directory=folder, **kwargs)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    print(f"port {server.server_address[1]}", flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
