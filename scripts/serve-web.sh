#!/usr/bin/env bash
# Serves the folder scripts/build-web.sh wrote on http://127.0.0.1:PORT/
# (Python's http.server; the page needs no server code, only the right types
# for .wasm and the JavaScript modules).
# Usage: scripts/serve-web.sh OUTDIR [PORT]
set -euo pipefail
dir=${1:?usage: serve-web.sh OUTDIR [PORT]}
port=${2:-8000}
[ -f "$dir/index.html" ] || { echo "serve-web.sh: no web page in $dir (run scripts/build-web.sh $dir)" >&2; exit 1; }
echo "Serving $dir on http://127.0.0.1:$port/"
exec /usr/bin/python3 - "$dir" "$port" <<'PY'
import functools, http.server, sys
class Handler(http.server.SimpleHTTPRequestHandler):
    extensions_map = {**http.server.SimpleHTTPRequestHandler.extensions_map,
                      ".wasm": "application/wasm", ".js": "text/javascript",
                      ".mjs": "text/javascript"}
    def end_headers(self):
        # A rebuilt folder is seen at once.
        self.send_header("Cache-Control", "no-cache")
        super().end_headers()
    def log_message(self, *args):
        pass
handler = functools.partial(Handler, directory=sys.argv[1])
http.server.ThreadingHTTPServer(("127.0.0.1", int(sys.argv[2])), handler).serve_forever()
PY
