// The instrument in WebAssembly for the page and its AudioWorklet: our own loader
// of velmora.wasm (a standalone module that imports three functions) and a thin
// wrapper over its C interface. Emscripten's glue cannot run in an AudioWorklet,
// whose scope has neither fetch nor TextDecoder: nothing here needs them but the
// calls that pass text, which only the page makes.

export const BLOCK_FRAMES = 64; // every render call, as `velmora render` makes them

function importsFor(state) {
    return {
        env: {
            // The memory grew; views of the old buffer notice it themselves (Instrument.outputs).
            emscripten_notify_memory_growth() {},
        },
        wasi_snapshot_preview1: {
            // The instrument logs nothing here (its log hook is silent); take any output whole.
            fd_write(fd, iovs, count, written) {
                const words = new Uint32Array(state.memory.buffer);
                let total = 0;
                for (let i = 0; i < count; ++i) total += words[(iovs >> 2) + 2 * i + 1];
                words[written >> 2] = total;
                return 0;
            },
            proc_exit(code) { throw new Error(`velmora.wasm stopped (exit ${code})`); },
        },
    };
}

function wrap(instance, state) {
    state.memory = instance.exports.memory;
    instance.exports._initialize();
    return new VelmoraModule(instance.exports, state);
}

// In the worklet: the compiled module from the page, instantiated at once.
export function instantiateSync(module) {
    const state = {};
    return wrap(new WebAssembly.Instance(module, importsFor(state)), state);
}

// On the page: instantiated without blocking it.
export async function instantiate(module) {
    const state = {};
    return wrap(await WebAssembly.instantiate(module, importsFor(state)), state);
}

// The panel's module (velmora-panel.js, Emscripten's glue around the same
// functions and the panel's): its instruments, as those of velmora.wasm.
export function wrapGlue(Module) {
    const exports = {};
    for (const name of Object.keys(Module)) if (name.startsWith('_vm_')) exports[name.slice(1)] = Module[name];
    return new VelmoraModule(exports, { memory: { get buffer() { return Module.HEAPU8.buffer; } } });
}

// One instance of the module: its memory and the instruments made in it.
class VelmoraModule {
    constructor(exports, state) {
        this.x = exports;
        this.state = state;
    }

    get buffer() { return this.state.memory.buffer; }

    // Copies bytes into the module's memory; the caller frees the pointer.
    copyIn(array) {
        const bytes = new Uint8Array(array.buffer, array.byteOffset, array.byteLength);
        const pointer = this.x.vm_alloc(Math.max(1, bytes.length));
        if (!pointer) throw new Error('velmora.wasm: out of memory');
        new Uint8Array(this.buffer, pointer, bytes.length).set(bytes);
        return pointer;
    }

    text(pointer) {
        if (!pointer) return null;
        const bytes = new Uint8Array(this.buffer, pointer);
        return new TextDecoder().decode(bytes.subarray(0, bytes.indexOf(0)));
    }

    // An instrument at this sample rate, or an Error.
    createInstrument(sampleRate) {
        const handle = this.x.vm_create(sampleRate);
        if (!handle) throw new Error(`the instrument cannot open at ${sampleRate} Hz`);
        return new Instrument(this, handle);
    }
}

// One instrument: what velmora.wasm's vm_ functions do to it. Status codes are the
// platform's (0: done).
export class Instrument {
    constructor(module, handle) {
        this.module = module;
        this.x = module.x;
        this.handle = handle;
        this.views = null;
    }

    // The next 64 frames into outputs()[0] and [1].
    render() { return this.x.vm_render(this.handle); }
    outputs() {
        // Made once, and again only over a grown memory: the audio thread allocates nothing.
        const buffer = this.module.buffer;
        if (!this.views || this.views[0].buffer !== buffer)
            this.views = [0, 1].map((c) => new Float32Array(buffer, this.x.vm_output(this.handle, c), BLOCK_FRAMES));
        return this.views;
    }

    midi(status, data1, data2) { return this.x.vm_midi(this.handle, status, data1, data2); }
    setParameter(id, value) { return this.x.vm_set_parameter(this.handle, id, value); }
    getParameter(id) { return this.x.vm_get_parameter(this.handle, id); }
    selectPreset(number) { return this.x.vm_select_preset(this.handle, number); }

    // Events as readSong gives them: times in seconds, three bytes each.
    playSong(seconds, bytes) {
        const s = this.module.copyIn(seconds), b = this.module.copyIn(bytes);
        const status = this.x.vm_play_song(this.handle, s, b, seconds.length);
        this.x.vm_free(s);
        this.x.vm_free(b);
        return status;
    }
    stopSong() { return this.x.vm_stop_song(this.handle); }
    songPlaying() { return this.x.vm_song_playing(this.handle) !== 0; }
    songPosition() { return this.x.vm_song_position(this.handle); }

    // A Standard MIDI File read as `velmora render` reads it: { events, warning } or
    // { error }, the messages prefixed with the name.
    readSong(name, fileBytes) {
        const n = this.module.copyIn(new TextEncoder().encode(name + '\0'));
        const f = this.module.copyIn(fileBytes);
        const read = this.x.vm_read_song(this.handle, n, f, fileBytes.length);
        this.x.vm_free(n);
        this.x.vm_free(f);
        const message = this.module.text(this.x.vm_message(this.handle)) || null;
        if (!read) return { error: message };
        const count = this.x.vm_song_count(this.handle);
        const buffer = this.module.buffer;
        return {
            warning: message,
            events: {
                seconds: new Float64Array(buffer, this.x.vm_song_seconds(this.handle), count).slice(),
                bytes: new Uint8Array(buffer, this.x.vm_song_bytes(this.handle), 3 * count).slice(),
            },
        };
    }
    // The most frames `velmora render` renders of the song read last.
    songLimit(sampleRate) { return this.x.vm_song_limit(this.handle, sampleRate); }

    describe() { return JSON.parse(this.module.text(this.x.vm_describe(this.handle))); }
    presetName() { return this.module.text(this.x.vm_preset_name(this.handle)); }

    // The state in the encoding of web/StateCodec.h.
    saveState() {
        const status = this.x.vm_save_state(this.handle);
        if (status) throw new Error(`saving the state failed (error ${status})`);
        return new Uint8Array(this.module.buffer, this.x.vm_state_data(this.handle),
            this.x.vm_state_size(this.handle)).slice();
    }
    restoreState(encoded) {
        const p = this.module.copyIn(encoded);
        const status = this.x.vm_restore_state(this.handle, p, encoded.length);
        this.x.vm_free(p);
        return status;
    }
}
