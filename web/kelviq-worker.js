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

function pictureFailure(name, reason) {
  return new Refusal("Cannot read the picture " + name + ": " + reason);
}

const MaxPixels = 2 ** 31 - 1;

// Decodes the picture file into the module, block by block of rows, flattening transparency
// over white as the converter does. onProgress(fraction) follows the rows.
async function openPicture(blob, name, onProgress) {
  if (blob.size === 0) throw pictureFailure(name, "the file is empty");
  let bitmap;
  try {
    bitmap = await createImageBitmap(blob, {
      colorSpaceConversion: "none",
      premultiplyAlpha: "none",
      imageOrientation: "none",
    });
  } catch (e) {
    throw pictureFailure(name, "not a picture format this program can read");
  }
  const width = bitmap.width;
  const height = bitmap.height;
  const size = "the picture is " + width + " × " + height + " pixels";
  if (width * height > MaxPixels) {
    bitmap.close();
    throw pictureFailure(name, size + ", more than the 2147 million pixels this program can trace");
  }
  const tooLarge = () => pictureFailure(name, size + ", too large for this machine's memory");
  try {
    if (!call("kv_open", width, height)) throw tooLarge();
    // Blocks of about 4 MB: progress moves and memory stays small.
    const block = Math.max(1, Math.min(height, Math.floor((1 << 20) / width)));
    const scratch = call("kv_scratch", block * width * 4);
    let read = canvasRows(bitmap);
    let exact = false;
    let shown = performance.now();
    for (let y = 0; y < height; y += block) {
      const rows = Math.min(block, height - y);
      if (!read(y, rows, scratch)) throw tooLarge();
      // A 2D canvas keeps pixels premultiplied by their alpha, which loses a little of the
      // colour of partly transparent ones; WebGL hands them over as the file has them.
      if (call("kv_put_rows", y, rows) && !exact) {
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
    throw e instanceof Refusal ? e : tooLarge();
  } finally {
    bitmap.close();
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

function viewBitmap(pointer, width, height) {
  const pixels = new Uint8ClampedArray(module.HEAPU8.buffer, pointer, width * height * 4);
  return createImageBitmap(new ImageData(pixels.slice(), width, height));
}

function traceSettings(s) {
  return [parseInt(String(s.color).slice(1), 16), s.tolerance | 0, s.invert ? 1 : 0, s.despeckle | 0];
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

// The scale for a plot width or height ("25mm"), as the converter works it out.
function scaleForLength(length, byWidth) {
  const ok = withText([length], (p) => call("kv_scale_for", p, byWidth ? 1 : 0));
  if (!ok) throw new Refusal(lastMessage());
  return lastMessage();
}

// The plot file's bytes for the picture now open.
function writePlot(s) {
  checkCounts(s);
  if (!(s.format in Formats))
    throw new Refusal('--format wants ipf, gerber, kicad or svg, not "' + s.format + '"');
  let scale = s.scale;
  if (s.width !== undefined && s.width !== "") scale = scaleForLength(s.width, true);
  else if (s.height !== undefined && s.height !== "") scale = scaleForLength(s.height, false);
  const [color, tolerance, invert, despeckle] = traceSettings(s);
  const segments = withText([scale, s.thickness, s.name || "out"], (sp, tp, np) =>
    call("kv_write", Formats[s.format], sp, tp, np, color, tolerance, invert, despeckle)
  );
  if (segments < 0) throw new Refusal(lastMessage());
  const bytes = module.HEAPU8.slice(call("kv_output"), call("kv_output") + call("kv_output_size"));
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
    const runs = new Int32Array(module.HEAP32.buffer, call("kv_runs"), count * 3).slice();
    reply({ segments, traced, runs }, [traced, runs.buffer]);
  },
  async point(message, reply) {
    const value = call("kv_point", message.x, message.y);
    reply({ color: value < 0 ? null : colorText(value) });
  },
  async scaleFor(message, reply) {
    reply({ scale: scaleForLength(message.length, message.byWidth) });
  },
  async write(message, reply) {
    const result = writePlot(message.settings);
    reply(result, [result.bytes.buffer]);
  },
  // window.kelviq.convert: a picture file's bytes to a plot file in one go.
  async convert(message, reply) {
    const o = message.options;
    const name = o.name || "out";
    await openPicture(new Blob([message.bytes]), name, () => {});
    const settings = Object.assign({ format: "ipf", color: "#000000", tolerance: 0, invert: false, despeckle: 0, scale: "2", thickness: "10" }, o);
    if (o.pick) {
      const value = call("kv_point", o.pick[0], o.pick[1]);
      if (value < 0)
        throw new Refusal("--pick " + o.pick[0] + "," + o.pick[1] + " lies outside the picture " + name + " (" + call("kv_width") + " × " + call("kv_height") + " pixels)");
      settings.color = colorText(value);
    } else if (!/^#?[0-9a-fA-F]{6}$/.test(settings.color)) {
      throw new Refusal('--color wants six hex digits RRGGBB, not "' + settings.color + '"');
    } else if (settings.color[0] !== "#") {
      settings.color = "#" + settings.color;
    }
    if ([o.scale, o.width, o.height].filter((v) => v !== undefined).length > 1)
      throw new Refusal("give only one of --scale, --width and --height");
    const width = call("kv_width");
    const height = call("kv_height");
    const result = writePlot(settings);
    call("kv_close");
    reply({ bytes: result.bytes, segments: result.segments, width, height }, [result.bytes.buffer]);
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
