# A time-stamp authority for the signing test, on 127.0.0.1 only, for as long as the test runs: each POSTed
# RFC 3161 query is answered by `openssl ts -reply` with the test authority's key, or, with --garbage, by bytes
# that are no time-stamp reply at all.
#   tsa-server.py CONFIG PORT_FILE [--garbage]
# The system picks a free port; it is written to PORT_FILE once the server takes connections, so that suites
# running side by side never collide.
import http.server
import os
import subprocess
import sys
import tempfile

config, port_file = sys.argv[1], sys.argv[2]
garbage = sys.argv[3:] == ["--garbage"]


class Handler(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        query = self.rfile.read(int(self.headers.get("Content-Length", "0")))
        if garbage:
            reply = b"\x30\x03this is not a time-stamp reply"
        else:
            with tempfile.TemporaryDirectory() as work:
                query_file, reply_file = os.path.join(work, "query"), os.path.join(work, "reply")
                with open(query_file, "wb") as f:
                    f.write(query)
                done = subprocess.run(["openssl", "ts", "-reply", "-config", config, "-queryfile", query_file,
                                       "-out", reply_file], capture_output=True)
                if done.returncode != 0:
                    sys.stderr.write(done.stderr.decode(errors="replace"))
                    self.send_error(500)
                    return
                with open(reply_file, "rb") as f:
                    reply = f.read()
        self.send_response(200)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)

    def log_message(self, *args):
        pass


server = http.server.HTTPServer(("127.0.0.1", 0), Handler)
with open(port_file + ".new", "w") as f:
    f.write(str(server.server_address[1]))
os.rename(port_file + ".new", port_file)
server.serve_forever()
