// Stands in for the host objects that the bundled libraries call when they report a problem: the
// extractor's engine has no console and no dump(), and a page must not be able to turn a library's
// message into a ReferenceError. esbuild puts these in place of the globals of those names.

const ignore = () => {};

export const console = { log: ignore, warn: ignore, error: ignore, info: ignore, debug: ignore };
export const dump = ignore;
