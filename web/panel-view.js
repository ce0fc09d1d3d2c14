// The instrument's own panel on the page's canvas: velmora-panel.js (the
// module that holds the page's instance and the panel), the pictures of the
// screen's scale and the panel's font, all loaded before the panel first draws.
import { wrapGlue } from './velmora-wasm.js';

const FONT = new FontFace('DejaVu Sans Mono', 'url(fonts/DejaVuSansMono.ttf)');

export class PanelView {
    // The module, the instance the page edits (created in it) and the panel on
    // canvas#`canvasId`. `onChange(id, value)` hears of every change made on
    // the panel. options: { knobMode: 'angle' | 'linear' }.
    static async open(canvasId, sampleRate, onChange, options = {}) {
        const font = loadFont();
        const lists = fetch('pictures/pictures.json').then((response) => response.json());
        const { default: createVelmoraPanel } = await import('./velmora-panel.js');
        const Module = await createVelmoraPanel({
            print: (line) => console.log(line),
            printErr: (line) => console.warn(line),
        });
        const wasm = wrapGlue(Module);
        const scale = Module._vm_panel_scale(window.devicePixelRatio || 1);
        const folder = wasm.text(Module._vm_panel_resources());
        Module.velmoraPictures = await fetchPictures(Module, folder, (await lists)[String(scale)] || []);
        await font;
        const unit = wasm.createInstrument(sampleRate);
        Module.onPanelChange = onChange;
        const id = wasm.copyIn(new TextEncoder().encode(canvasId + '\0'));
        const handle = Module._vm_panel_open(unit.handle, id, scale, options.knobMode === 'linear' ? 1 : 0);
        wasm.x.vm_free(id);
        if (!handle) throw new Error('the panel could not open');
        return new PanelView(Module, unit, handle, scale);
    }

    constructor(Module, unit, handle, scale) {
        this.Module = Module;
        this.unit = unit;
        this.handle = handle;
        this.scale = scale;
    }

    // The page changed parameter `id` of the instance (undefined: all of them).
    notify(id) {
        this.Module._vm_panel_notify(this.handle, id === undefined ? -1 : id);
    }
}

// Fetches and decodes the pictures (those drawn for the panel's scale): their
// bytes go into the module's file system, where the panel looks for them, and
// the decoded pictures into the map it draws from, by the same path.
async function fetchPictures(Module, folder, files) {
    Module.FS.mkdirTree(folder);
    const pictures = new Map();
    await Promise.all(files.map(async (file) => {
        const response = await fetch(`pictures/${file}`);
        if (!response.ok) throw new Error(`pictures/${file}: ${response.status} ${response.statusText}`);
        const blob = await response.blob();
        const path = `${folder}/${file}`;
        Module.FS.writeFile(path, new Uint8Array(await blob.arrayBuffer()));
        pictures.set(path, await createImageBitmap(blob, { colorSpaceConversion: 'none' }));
    }));
    return pictures;
}

// The panel's text waits for its font; without it, the browser's monospace font.
async function loadFont() {
    try {
        document.fonts.add(await FONT.load());
    } catch (e) {
        console.warn(`fonts/DejaVuSansMono.ttf: ${e.message}; the panel's text is in another font`);
    }
}
