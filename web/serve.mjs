// Serves a built page (index.html, sandbox.js, sandbox.wasm) on 127.0.0.1, and nothing else.
// A browser needs an http address for the page: WebAssembly is not loaded from file://.
//
//   node web/serve.mjs BUILD_DIR [PORT]     (PORT 0 or none: any free port)

import http from "node:http";
import fs from "node:fs";
import path from "node:path";
import { fileURLToPath } from "node:url";

const kTypes = { ".html": "text/html", ".js": "text/javascript", ".wasm": "application/wasm" };

// Resolves to the listening server; its address() gives the port.
export function serve(dir, port = 0) {
  const server = http.createServer((req, res) => {
    let name = new URL(req.url, "http://localhost").pathname;
    if (name === "/") name = "/index.html";
    const type = kTypes[path.extname(name)];
    const file = path.join(dir, path.basename(name));
    if (!type || !fs.existsSync(file)) {
      res.writeHead(404).end();
      return;
    }
    res.writeHead(200, { "Content-Type": type, "Cache-Control": "no-store" });
    fs.createReadStream(file).pipe(res);
  });
  return new Promise((resolve, reject) => {
    server.once("error", reject);
    server.listen(port, "127.0.0.1", () => resolve(server));
  });
}

if (process.argv[1] === fileURLToPath(import.meta.url)) {
  const [dir, port] = process.argv.slice(2);
  if (!dir) {
    console.error("usage: node serve.mjs BUILD_DIR [PORT]");
    process.exit(2);
  }
  const server = await serve(dir, Number(port || 0));
  console.log(`The sandbox is at http://127.0.0.1:${server.address().port}/ (Ctrl+C stops)`);
}
