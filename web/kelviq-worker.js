// The page's work, away from its thread: decoding a picture with the browser's own decoders,
// and tracing and writing it with the converter's C++ compiled to WebAssembly. One worker
// holds one picture; the page starts a new worker for each picture it opens and drops the
// old one only when the new picture is in, so a picture that fails leaves the last one.
"use strict";

importScripts("kelviq_web.js");

let kv = null; // the WebAssembly module's exports, once ready
let module = null;

const textEncoder = new TextEncoder();
const textDecoder = new TextDecoder();

function call(name, ...args) {
  return module["_" + name](...args);
}

// A C string in the module's memory, for the duration of fn.
function withText(texts, fn) {
  const pointers = texts.map((text) => {
    const bytes = textEncoder.encode(String(text));
    const p = call("kv_alloc", bytes.length + 1);
    module.HEAPU8.set(bytes, p);
    module.HEAPU8[p + bytes.length] = 0;
    return p;
  });
  try {
    return fn(...pointers);
  } finally {
    for (const p of pointers) call("kv_free", p);
  }
}

function lastMessage() {
  const p = call("kv_message");
  let end = p;
  while (module.HEAPU8[end]) end++;
  return textDecoder.decode(module.HEAPU8.subarray(p, end));
}

class Refusal extends Error {}

// Every message ends with a full stop, as the converter's do.
function pictureFailure(name, reason) {
  return new Refusal("Cannot read the picture " + name + ": " + reason + ".");
}

const MaxPixels = 2 ** 31 - 1;

// The picture's kind from its first bytes, as the converter tells it, for the browser's
// decoder; null for anything else.
function sniff(head) {
  const at = (offset, text) => [...text].every((c, i) => head[offset + i] === c.charCodeAt(0));
  if (head[0] === 0x89 && at(1, "PNG")) return "image/png";
  if (at(0, "GIF8")) return "image/gif";
  if (at(0, "BM")) return "image/bmp";
  if (head[0] === 0xff && head[1] === 0xd8 && head[2] === 0xff) return "image/jpeg";
  if (at(0, "RIFF") && at(8, "WEBP")) return "image/webp";
  if (head[0] === 0 && head[1] === 0 && (head[2] === 1 || head[2] === 2) && head[3] === 0) return "image/x-icon";
  if (at(4, "ftypavif")) return "image/avif";
  // Text formats the converter reads and browsers do not.
  if (head[0] === 0x50 && head[1] >= 0x31 && head[1] <= 0x36 && [9, 10, 13, 32, 35].includes(head[2])) return "text/a PBM, PGM or PPM";
  if (at(0, "#define")) return "text/an XBM";
  if (at(0, "/* XPM */")) return "text/an XPM";
  return null;
}

// Decodes the picture file into the module's memory, flattening transparency over white as
// the converter does. onProgress(fraction) follows the rows where they come a block at a time.
async function openPicture(blob, name, onProgress) {
  if (blob.size === 0) throw pictureFailure(name, "the file is empty");
  const type = sniff(new Uint8Array(await blob.slice(0, 16).arrayBuffer()));
  const notAPicture = () => pictureFailure(name, "not a picture format this program can read");
  if (!type) throw notAPicture();
  if (type.startsWith("text/"))
    throw pictureFailure(name, "it is " + type.slice(5) + " picture, which browsers do not read: kelviq-convert reads it");
  // A file of a known kind that the browser cannot decode is mostly damaged or cut short; the
  // browser does not say which.
  const undecodable = () => pictureFailure(name, "the file is damaged or cut short: this browser cannot decode it");
  try {
    const decoded = (type === "image/png" && (await pngRows(blob, name))) || (await decodedFrame(blob, type, name));
    if (decoded) return decoded;
  } catch (e) {
    if (e instanceof Refusal) throw e;
    throw undecodable();
  }
  let bitmap;
  try {
    bitmap = await createImageBitmap(blob, {
      colorSpaceConversion: "none",
      premultiplyAlpha: "none",
      imageOrientation: "none",
    });
  } catch (e) {
    throw undecodable();
  }
  try {
    return canvasPicture(bitmap, name, onProgress);
  } finally {
    bitmap.close();
  }
}

function sizeRefusal(name, width, height) {
  const size = "the picture is " + width + " × " + height + " pixels";
  if (width * height > MaxPixels)
    return pictureFailure(name, size + ", more than the 2147 million pixels this program can trace");
  return pictureFailure(name, size + ", too large for this machine's memory");
}

// Room for the picture in the module's memory: where its pixel words go.
function openRoom(name, width, height) {
  if (width * height > MaxPixels) throw sizeRefusal(name, width, height);
  const pixels = call("kv_open", width, height) >>> 0;
  if (!pixels) throw sizeRefusal(name, width, height);
  return pixels;
}

const CrcTable = (() => {
  const table = new Int32Array(256);
  for (let n = 0; n < 256; n++) {
    let c = n;
    for (let k = 0; k < 8; k++) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
    table[n] = c;
  }
  return table;
})();

function crc32(bytes, start, end) {
  let c = -1;
  for (let i = start; i < end; i++) c = CrcTable[(c ^ bytes[i]) & 0xff] ^ (c >>> 8);
  return ~c >>> 0;
}

// A PNG of palette or grey pixels, one bit or one byte each, without interlacing or
// transparency (most logos): kept as it is, a bit or a byte a pixel with its palette, as the
// converter keeps it, rather than four bytes a pixel - its data inflated by the browser
// (DecompressionStream) straight into the module's memory and its rows unfiltered there. So are
// 16-bit grey and colour PNGs without transparency, whose samples the browser would cut to 8
// bits otherwise than the converter, which rounds them.
// Null for every other PNG, and for anything amiss (a checksum, a chunk out of place, data
// too short or too long), which the browser's decoder then reads as it can.
async function pngRows(blob, name) {
  const file = new Uint8Array(await blob.arrayBuffer());
  const view = new DataView(file.buffer);
  const idat = [];
  let header = null;
  let colors = null;
  for (let at = 8; ; ) {
    if (at + 12 > file.length) return null;
    const length = view.getUint32(at);
    const kind = String.fromCharCode(...file.subarray(at + 4, at + 8));
    const end = at + 8 + length;
    if (length > 0x7fffffff || end + 4 > file.length || crc32(file, at + 4, end) !== view.getUint32(end)) return null;
    const data = file.subarray(at + 8, end);
    if (!header && kind !== "IHDR") return null;
    if (kind === "IHDR") {
      if (header || length !== 13) return null;
      header = { width: view.getUint32(at + 8), height: view.getUint32(at + 12), bits: data[8], type: data[9], methods: data[10] | data[11] | data[12] };
    } else if (kind === "PLTE") {
      if (colors || length % 3 || length > 768 || idat.length) return null;
      colors = [];
      for (let i = 0; i < length; i += 3) colors.push(data[i] | (data[i + 1] << 8) | (data[i + 2] << 16));
    } else if (kind === "tRNS") {
      return null;
    } else if (kind === "IDAT") {
      idat.push(data);
    } else if (kind === "IEND") {
      break;
    }
    at = end + 4;
  }
  const { width, height, bits, type } = header;
  // Any PNG claiming more pixels than can be traced is refused before it is decoded.
  if (width * height > MaxPixels) throw sizeRefusal(name, width, height);
  const kept = (type === 0 || type === 3) && (bits === 1 || bits === 8);
  const sixteen = (type === 0 || type === 2) && bits === 16;
  if (header.methods || !(kept || sixteen) || !idat.length) return null;
  if (type === 0) colors = Array.from({ length: bits === 1 ? 2 : 256 }, (_, i) => (bits === 1 ? i * 0xffffff : i * 0x010101));
  if (type === 2) colors = [];
  if (!colors || !width || !height) return null;
  const palette = call("kv_alloc", 4 * 256) >>> 0;
  module.HEAP32.set(colors, palette / 4);
  const rows = call("kv_open_png", width, height, bits, type === 2 ? 1 : 0, palette, colors.length) >>> 0;
  call("kv_free", palette);
  if (!rows) throw sizeRefusal(name, width, height);
  const total = height * (1 + Math.ceil((width * (type === 2 ? 3 : 1) * bits) / 8));
  let filled = 0;
  try {
    const reader = new Blob(idat).stream().pipeThrough(new DecompressionStream("deflate")).getReader();
    for (;;) {
      const { done, value } = await reader.read();
      if (done) break;
      if (filled + value.length > total) return failedPng();
      module.HEAPU8.set(value, rows + filled);
      filled += value.length;
    }
  } catch (e) {
    return failedPng();
  }
  if (filled !== total || !call("kv_unfilter_png", colors.length)) return failedPng();
  return { width, height };
}

function failedPng() {
  call("kv_close");
  return null;
}

// WebCodecs' ImageDecoder, where the browser has it: the first picture of the file as a frame
// that is copied straight into the module's memory as BGRA, the tracer's own order, with the
// colours as the file has them (no colour profile, alpha not premultiplied). Null where the
// browser lacks it or cannot decode this kind.
async function decodedFrame(blob, type, name) {
  if (typeof ImageDecoder === "undefined" || !(await ImageDecoder.isTypeSupported(type))) return null;
  const decoder = new ImageDecoder({
    data: await blob.arrayBuffer(),
    type,
    colorSpaceConversion: "none",
    premultiplyAlpha: "none",
    preferAnimation: false,
  });
  let image = null;
  try {
    image = (await decoder.decode({ frameIndex: 0 })).image;
    const width = image.displayWidth;
    const height = image.displayHeight;
    const pixels = openRoom(name, width, height);
    // Frames come as BGRX (opaque) or BGRA, the tracer's order, copied as they are in a few
    // milliseconds; a conversion by copyTo would cost many times that.
    const format = image.format;
    const swapped = format === "RGBA" || format === "RGBX";
    if (!swapped && format !== "BGRA" && format !== "BGRX") {
      call("kv_close");
      return null; // a frame in another layout: the canvas then
    }
    try {
      await image.copyTo(new Uint8Array(module.HEAPU8.buffer, pixels, width * height * 4), { format });
    } catch (e) {
      call("kv_close");
      return null;
    }
    const opaque = format.endsWith("X");
    call("kv_put_decoded", swapped ? 1 : 0, opaque ? 1 : 0);
    return { width, height };
  } finally {
    if (image) image.close();
    decoder.close();
  }
}

// The picture through a 2D canvas, block by block of rows: progress moves and the browser's
// own copies stay small.
function canvasPicture(bitmap, name, onProgress) {
  const width = bitmap.width;
  const height = bitmap.height;
  const pixels = openRoom(name, width, height);
  try {
    // Blocks of about 4 MB.
    const block = Math.max(1, Math.min(height, Math.floor((1 << 20) / width)));
    let read = canvasRows(bitmap);
    let exact = false;
    let shown = performance.now();
    for (let y = 0; y < height; y += block) {
      const rows = Math.min(block, height - y);
      if (!read(y, rows, pixels + y * width * 4)) throw sizeRefusal(name, width, height);
      // A 2D canvas keeps pixels premultiplied by their alpha, which loses a little of the
      // colour of partly transparent ones; WebGL hands them over as the file has them.
      if (call("kv_put_rgba_rows", y, rows) && !exact) {
        exact = true;
        const rowsAsTheyAre = textureRows(bitmap);
        if (rowsAsTheyAre) {
          read = rowsAsTheyAre;
          y = -block;
          continue;
        }
      }
      if (performance.now() - shown > 100) {
        shown = performance.now();
        onProgress((y + rows) / height);
      }
    }
  } catch (e) {
    call("kv_close");
    throw e instanceof Refusal ? e : sizeRefusal(name, width, height);
  }
  return { width, height };
}

// Reads rows of the picture through a 2D canvas into the module's memory at p.
function canvasRows(bitmap) {
  const canvas = new OffscreenCanvas(bitmap.width, bitmap.height);
  const context = canvas.getContext("2d", { willReadFrequently: true });
  if (!context) return () => false;
  context.drawImage(bitmap, 0, 0);
  return (y, rows, p) => {
    module.HEAPU8.set(context.getImageData(0, y, bitmap.width, rows, { colorSpace: "srgb" }).data, p);
    return true;
  };
}

// The same through a WebGL texture, which keeps colour and alpha apart; null where WebGL is
// missing or the picture is larger than its textures.
function textureRows(bitmap) {
  try {
    const gl = new OffscreenCanvas(1, 1).getContext("webgl2", { premultipliedAlpha: false, antialias: false });
    const largest = gl && gl.getParameter(gl.MAX_TEXTURE_SIZE);
    if (!gl || bitmap.width > largest || bitmap.height > largest) return null;
    gl.bindTexture(gl.TEXTURE_2D, gl.createTexture());
    gl.pixelStorei(gl.UNPACK_PREMULTIPLY_ALPHA_WEBGL, false);
    gl.pixelStorei(gl.UNPACK_COLORSPACE_CONVERSION_WEBGL, gl.NONE);
    gl.pixelStorei(gl.UNPACK_FLIP_Y_WEBGL, false);
    gl.texImage2D(gl.TEXTURE_2D, 0, gl.RGBA8, bitmap.width, bitmap.height, 0, gl.RGBA, gl.UNSIGNED_BYTE, bitmap);
    gl.bindFramebuffer(gl.FRAMEBUFFER, gl.createFramebuffer());
    gl.framebufferTexture2D(gl.FRAMEBUFFER, gl.COLOR_ATTACHMENT0, gl.TEXTURE_2D, gl.getParameter(gl.TEXTURE_BINDING_2D), 0);
    if (gl.getError() !== gl.NO_ERROR || gl.checkFramebufferStatus(gl.FRAMEBUFFER) !== gl.FRAMEBUFFER_COMPLETE) return null;
    return (y, rows, p) => {
      gl.readPixels(0, y, bitmap.width, rows, gl.RGBA, gl.UNSIGNED_BYTE, new Uint8Array(module.HEAPU8.buffer, p, bitmap.width * rows * 4));
      return gl.getError() === gl.NO_ERROR;
    };
  } catch (e) {
    return null;
  }
}

// A bitmap of the RGBA view at pointer. createImageBitmap takes its copy when called, so the
// view is read straight from the module's memory, which nothing changes until then.
function viewBitmap(pointer, width, height) {
  const pixels = new Uint8ClampedArray(module.HEAPU8.buffer, pointer >>> 0, width * height * 4);
  return createImageBitmap(new ImageData(pixels, width, height));
}

// "#rrggbb" as the core's colour value, 0x00BBGGRR.
function colorValue(text) {
  const rgb = parseInt(String(text).replace("#", ""), 16);
  return ((rgb & 0xff) << 16) | (rgb & 0xff00) | ((rgb >> 16) & 0xff);
}

function traceSettings(s) {
  return [colorValue(s.color), Number(s.tolerance) | 0, s.invert ? 1 : 0, Number(s.despeckle) | 0];
}

// Bad whole numbers get the converter's words.
function checkCounts(s) {
  const whole = (v) => /^\s*\+?\d+\s*$/.test(String(v));
  if (!whole(s.tolerance) || parseInt(s.tolerance, 10) > 255)
    throw new Refusal('The tolerance "' + s.tolerance + '" is not a whole number from 0 to 255.');
  if (!whole(s.despeckle) || parseInt(s.despeckle, 10) > 2147483647)
    throw new Refusal('The speck size "' + s.despeckle + '" is not a whole number of pixels (0 or more, up to 2147483647).');
}

const Formats = { ipf: 0, gerber: 1, kicad: 2, svg: 3 };
// The converter's names of PlotShape, BoardSide and BoardLayer, in their order.
const Styles = { shape: ["lines", "outline"], side: ["top", "bottom"], layer: ["silkscreen", "mask", "copper"] };

// The style of the plots that follow, from names in any case; unknown names are refused in the
// converter's words.
function setStyle(s) {
  const index = {};
  for (const [option, names] of Object.entries(Styles)) {
    const given = s[option] === undefined ? names[0] : String(s[option]);
    index[option] = names.indexOf(given.toLowerCase());
    if (index[option] < 0)
      throw new Refusal("--" + option + " wants " + names.slice(0, -1).join(", ") + " or " + names[names.length - 1] + ', not "' + given + '"');
  }
  call("kv_set_style", index.shape, index.side, index.layer);
  return index;
}

// The scale for a plot width or height ("25mm"), as the converter works it out.
function scaleForLength(length, byWidth, name, format) {
  const ok = withText([length, name], (p, n) => call("kv_scale_for", p, byWidth ? 1 : 0, n, Formats[format] || 0));
  if (!ok) throw new Refusal(lastMessage());
  return lastMessage();
}

// The plot file's bytes for the picture now open.
function writePlot(s) {
  checkCounts(s);
  if (!(s.format in Formats))
    throw new Refusal('--format wants ipf, gerber, kicad or svg, not "' + s.format + '"');
  setStyle(s);
  let scale = s.scale;
  if (s.width !== undefined && s.width !== "") scale = scaleForLength(s.width, true, s.pictureName, s.format);
  else if (s.height !== undefined && s.height !== "") scale = scaleForLength(s.height, false, s.pictureName, s.format);
  const [color, tolerance, invert, despeckle] = traceSettings(s);
  const segments = withText([scale, s.thickness, s.name || "out"], (sp, tp, np) =>
    call("kv_write", Formats[s.format], sp, tp, np, color, tolerance, invert, despeckle)
  );
  if (segments < 0) throw new Refusal(lastMessage());
  const start = call("kv_output") >>> 0;
  const bytes = module.HEAPU8.slice(start, start + (call("kv_output_size") >>> 0));
  call("kv_output_release");
  return { bytes, segments, scale };
}

function colorText(value) {
  return "#" + [value & 255, (value >> 8) & 255, (value >> 16) & 255].map((c) => c.toString(16).padStart(2, "0")).join("");
}

const handlers = {
  async open(message, reply) {
    const { width, height } = await openPicture(message.file, message.name, (fraction) =>
      postMessage({ job: message.job, type: "progress", fraction })
    );
    const picture = await viewBitmap(call("kv_picture_view"), width, height);
    call("kv_view_release");
    reply({ width, height, picture }, [picture]);
  },
  async trace(message, reply) {
    const [color, tolerance, invert, despeckle] = traceSettings(message.settings);
    const segments = call("kv_trace", color, tolerance, invert, despeckle);
    if (segments < 0) throw new Refusal(lastMessage());
    const width = call("kv_width");
    const height = call("kv_height");
    const traced = await viewBitmap(call("kv_traced_view", color), width, height);
    call("kv_view_release");
    const count = call("kv_run_count");
    const runs = new Int32Array(module.HEAP32.buffer, call("kv_runs") >>> 0, count * 3).slice();
    reply({ segments, traced, runs }, [traced, runs.buffer]);
  },
  async point(message, reply) {
    const value = call("kv_point", message.x, message.y);
    reply({ color: value < 0 ? null : colorText(value) });
  },
  async scaleFor(message, reply) {
    reply({ scale: scaleForLength(message.length, message.byWidth, message.name, "ipf") });
  },
  async write(message, reply) {
    const result = writePlot(message.settings);
    reply(result, [result.bytes.buffer]);
  },
  // window.kelviq.convert: a picture file's bytes to a plot file in one go, with the
  // converter's checks in its order: usage, then the settings, then the picture.
  async convert(message, reply) {
    const o = message.options;
    const name = o.name || "out";
    const settings = Object.assign({ format: "ipf", color: "#000000", tolerance: "0", invert: false, despeckle: "0", scale: "2", thickness: "10" }, o);
    if (!(settings.format in Formats))
      throw new Refusal('--format wants ipf, gerber, kicad or svg, not "' + settings.format + '"');
    if (!o.pick && !/^#?[0-9a-fA-F]{6}$/.test(settings.color))
      throw new Refusal('--color wants six hex digits RRGGBB, not "' + settings.color + '"');
    if (o.pick && o.color !== undefined) throw new Refusal("--color and --pick cannot be used together");
    const style = setStyle(settings);
    if ([o.scale, o.width, o.height].filter((v) => v !== undefined).length > 1)
      throw new Refusal("give only one of --scale, --width and --height");
    if (style.shape === 1 && !["gerber", "kicad", "svg"].includes(settings.format))
      throw new Refusal("--shape outline cannot be written as " + settings.format + ": IPF files hold lines only; use --format gerber, kicad or svg");
    for (const by of ["width", "height"]) {
      if (o[by] === undefined) continue;
      if (!withText([o[by]], (p) => call("kv_check_length", p, by === "width" ? 1 : 0))) throw new Refusal(lastMessage());
    }
    checkCounts(settings);
    // A scale or thickness no plot in the format can have is refused before the picture.
    const scale = o.width === undefined && o.height === undefined ? settings.scale : "2";
    if (!withText([scale, settings.thickness], (sp, tp) => call("kv_check_range", sp, tp, Formats[settings.format])))
      throw new Refusal(lastMessage());
    await openPicture(new Blob([message.bytes]), name, () => {});
    if (o.pick) {
      const value = call("kv_point", o.pick[0], o.pick[1]);
      if (value < 0)
        throw new Refusal("--pick " + o.pick[0] + "," + o.pick[1] + " lies outside the picture " + name + " (" + call("kv_width") + " × " + call("kv_height") + " pixels).");
      settings.color = colorText(value);
    }
    settings.pictureName = name;
    const width = call("kv_width");
    const height = call("kv_height");
    const result = writePlot(settings);
    call("kv_close");
    const outline = style.shape === 1;
    reply({ bytes: result.bytes, segments: outline ? 0 : result.segments, shapes: outline ? result.segments : 0, width, height }, [result.bytes.buffer]);
  },
};

const queue = [];
let busy = false;

async function work() {
  if (busy) return;
  busy = true;
  while (queue.length) {
    const message = queue.shift();
    const reply = (data, transfer) => postMessage(Object.assign({ job: message.job, type: "done" }, data), transfer || []);
    try {
      await handlers[message.type](message, reply);
    } catch (e) {
      const text = e instanceof Refusal ? e.message : "Out of memory or an internal fault: " + e;
      postMessage({ job: message.job, type: "failed", message: text });
    }
  }
  busy = false;
}

onmessage = (event) => {
  const message = event.data;
  if (message.type === "init") {
    createKelviq({
      instantiateWasm(imports, done) {
        WebAssembly.instantiate(message.module, imports).then((instance) => done(instance, message.module));
        return {};
      },
    }).then((m) => {
      module = m;
      kv = true;
      postMessage({ type: "ready" });
      work();
    });
    return;
  }
  queue.push(message);
  if (kv) work();
};
