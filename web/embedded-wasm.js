// Put at the top of duskmere.js, inside its module function. The WebAssembly is embedded in the
// script as a data: URL, yet this Emscripten's loader first tries to fetch() that URL; the page's
// Content-Security-Policy refuses the connection (connect-src is 'none'), which logs errors before
// the loader falls back to decoding it. Without a fetch in sight the loader decodes it straight
// away. Nothing else in the module fetches anything (no file system, no network).
var fetch;
