// Preset files (.aupreset) on the page: XML property lists read with the browser's
// own XML parser under the bounds `velmora` reads them with, and written as
// `velmora state save` writes them. The state travels to and from the instrument
// in the tagged encoding of web/StateCodec.h.

export const MAX_PRESET_FILE_BYTES = 1 << 20; // a preset is about 2 KB
const MAX_DEPTH = 32; // containers inside one another
const MAX_NODES = 10000; // values in the tree

export class PresetFileError extends Error {}

// ---- reading

class Damaged extends Error {}

// The tagged encoding, written as it grows.
class Encoder {
    constructor() {
        this.bytes = new Uint8Array(256);
        this.length = 0;
    }
    room(n) {
        if (this.length + n <= this.bytes.length) return;
        const grown = new Uint8Array(Math.max(2 * this.bytes.length, this.length + n));
        grown.set(this.bytes.subarray(0, this.length));
        this.bytes = grown;
    }
    byte(b) {
        this.room(1);
        this.bytes[this.length++] = b;
    }
    u32(v) {
        this.room(4);
        new DataView(this.bytes.buffer).setUint32(this.length, v, true);
        this.length += 4;
    }
    i64(v) {
        this.room(8);
        new DataView(this.bytes.buffer).setBigInt64(this.length, v, true);
        this.length += 8;
    }
    f64(v) {
        this.room(8);
        new DataView(this.bytes.buffer).setFloat64(this.length, v, true);
        this.length += 8;
    }
    raw(bytes) {
        this.u32(bytes.length);
        this.room(bytes.length);
        this.bytes.set(bytes, this.length);
        this.length += bytes.length;
    }
    text(s) {
        if (s.includes('\0')) throw new Damaged();
        this.raw(new TextEncoder().encode(s));
    }
    result() { return this.bytes.slice(0, this.length); }
}

const SCALARS = new Set(['key', 'string', 'integer', 'real', 'true', 'false', 'data', 'date']);

function elementChildren(node) {
    const children = [];
    for (const child of node.childNodes) {
        if (child.nodeType === Node.ELEMENT_NODE) children.push(child);
        else if (child.nodeType === Node.TEXT_NODE && child.data.trim() !== '') throw new Damaged();
    }
    return children;
}

// A scalar's text; an element inside one is a fault.
function scalarText(element) {
    for (const child of element.childNodes)
        if (child.nodeType === Node.ELEMENT_NODE) throw new Damaged();
    return element.textContent;
}

// As the property-list library reads an integer: an optional sign, then
// decimal, 0x hexadecimal or 0 octal digits as far as they go; 64 bits.
function parseInteger(text) {
    let s = text.trim(), negative = false;
    if (s[0] === '-' || s[0] === '+') {
        negative = s[0] === '-';
        s = s.slice(1);
    }
    let digits, base;
    if (/^0[xX]/.test(s)) [digits, base] = [s.slice(2).match(/^[0-9a-fA-F]*/)[0], 16n];
    else if (s[0] === '0') [digits, base] = [s.match(/^[0-7]*/)[0], 8n];
    else [digits, base] = [s.match(/^[0-9]*/)[0], 10n];
    let v = 0n;
    for (const d of digits.toLowerCase()) v = v * base + BigInt(parseInt(d, 16));
    if (v > 0xFFFFFFFFFFFFFFFFn) v = 0xFFFFFFFFFFFFFFFFn;
    return BigInt.asIntN(64, negative ? -v : v);
}

function parseReal(text) {
    const s = text.trim();
    const v = Number(s);
    return Number.isNaN(v) ? parseFloat(s) : v;
}

function decodeBase64(text) {
    try {
        const binary = atob(text.replace(/\s+/g, ''));
        return Uint8Array.from(binary, (c) => c.charCodeAt(0));
    } catch {
        throw new Damaged();
    }
}

// Writes one value into the encoding, walking the whole tree to bound it.
function encodeValue(out, element, depth, count) {
    if (++count.nodes > MAX_NODES) throw new Damaged();
    const name = element.localName;
    switch (name) {
        case 'dict': {
            if (depth + 1 > MAX_DEPTH) throw new Damaged();
            const children = elementChildren(element);
            if (children.length % 2) throw new Damaged();
            out.byte(0x44); // 'D'
            out.u32(children.length / 2);
            for (let i = 0; i < children.length; i += 2) {
                if (children[i].localName !== 'key') throw new Damaged();
                out.text(scalarText(children[i]));
                encodeValue(out, children[i + 1], depth + 1, count);
            }
            return;
        }
        case 'array': {
            if (depth + 1 > MAX_DEPTH) throw new Damaged();
            // No state holds one: checked and bounded, then dropped as `velmora` drops it.
            const scratch = new Encoder();
            for (const child of elementChildren(element)) encodeValue(scratch, child, depth + 1, count);
            out.byte(0x58); // 'X'
            return;
        }
        case 'string': out.byte(0x53); out.text(scalarText(element)); return;
        case 'integer': out.byte(0x49); out.i64(parseInteger(scalarText(element))); return;
        case 'real': out.byte(0x52); out.f64(parseReal(scalarText(element))); return;
        case 'data': out.byte(0x42); out.raw(decodeBase64(scalarText(element))); return;
        default:
            if (!SCALARS.has(name) || name === 'key') throw new Damaged();
            scalarText(element);
            out.byte(0x58); // 'X': a date or a boolean
    }
}

// The state of a preset file, in the instrument's encoding; throws PresetFileError
// with the message `velmora` gives for the same file, or one naming
// `velmora state save` for a binary list, which the page does not read.
export function readPresetFile(name, bytes) {
    if (bytes.length > MAX_PRESET_FILE_BYTES) throw new PresetFileError(`${name}: too large for a preset file`);
    if (String.fromCharCode(...bytes.subarray(0, 8)) === 'bplist00')
        throw new PresetFileError(`${name}: a binary property list, which the page does not read; ` +
            `velmora state save OUT.aupreset --state ${name} writes it as XML`);
    const damaged = new PresetFileError(`${name}: not a property-list preset file (damaged or truncated)`);
    const doc = new DOMParser().parseFromString(new TextDecoder().decode(bytes), 'application/xml');
    const root = doc.documentElement;
    if (doc.getElementsByTagName('parsererror').length || !root || root.localName !== 'plist') throw damaged;
    try {
        const values = elementChildren(root);
        if (values.length !== 1 || values[0].localName !== 'dict') throw new Damaged();
        const out = new Encoder();
        encodeValue(out, values[0], 0, { nodes: 0 });
        return out.result();
    } catch (e) {
        if (e instanceof Damaged) throw damaged;
        throw e;
    }
}

// ---- writing

function escape(text) { return text.replace(/&/g, '&amp;').replace(/</g, '&lt;').replace(/>/g, '&gt;'); }

// Reads the tagged encoding back into XML lines at `depth` tabs.
class Decoder {
    constructor(bytes) {
        this.bytes = bytes;
        this.view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
        this.pos = 0;
    }
    u32() { const v = this.view.getUint32(this.pos, true); this.pos += 4; return v; }
    raw() {
        const n = this.u32();
        const bytes = this.bytes.subarray(this.pos, this.pos + n);
        this.pos += n;
        return bytes;
    }
    text() { return new TextDecoder().decode(this.raw()); }

    value(depth) {
        const tabs = '\t'.repeat(depth);
        const tag = String.fromCharCode(this.bytes[this.pos++]);
        switch (tag) {
            case 'D': {
                const count = this.u32();
                let xml = `${tabs}<dict>\n`;
                for (let i = 0; i < count; ++i) {
                    const key = this.text();
                    const value = this.value(depth + 1);
                    if (value !== null) xml += `${tabs}\t<key>${escape(key)}</key>\n${value}`;
                }
                return xml + `${tabs}</dict>\n`;
            }
            case 'S': return `${tabs}<string>${escape(this.text())}</string>\n`;
            case 'I': {
                const v = this.view.getBigInt64(this.pos, true);
                this.pos += 8;
                return `${tabs}<integer>${v}</integer>\n`;
            }
            case 'R': {
                const v = this.view.getFloat64(this.pos, true);
                this.pos += 8;
                return `${tabs}<real>${v}</real>\n`;
            }
            case 'B': {
                // Base64 in lines that end at column 76, counting a tab as 8.
                const bytes = this.raw();
                let binary = '';
                for (const b of bytes) binary += String.fromCharCode(b);
                const text = btoa(binary), width = 76 - 8 * depth;
                let xml = `${tabs}<data>\n`;
                for (let i = 0; i < text.length; i += width) xml += `${tabs}${text.slice(i, i + width)}\n`;
                return xml + `${tabs}</data>\n`;
            }
            default: return null;
        }
    }
}

// The preset file's text for a state the instrument saved.
export function writePresetFile(encoded) {
    return '<?xml version="1.0" encoding="UTF-8"?>\n' +
        '<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">\n' +
        '<plist version="1.0">\n' + new Decoder(encoded).value(0) + '</plist>\n';
}
