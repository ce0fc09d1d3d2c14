// The web page: Velmora played live from the computer keyboard and Web MIDI, its
// panel, its factory presets and all its parameters, preset files, MIDI files to
// hear and to render to WAV, and window.velmora for scripts and tests.
//
// Sound is made only in the AudioWorklet. The page keeps an instance of its own,
// the unit that the panel and the other controls edit; after a preset or a state
// is loaded there, the worklet gets every value and the name (a snapshot), and
// after a control moves, that one.
import { ComputerKeyboard } from './computer-keyboard.js';
import { PanelView } from './panel-view.js';
import { ParameterControls } from './parameter-controls.js';
import { MAX_PRESET_FILE_BYTES, PresetFileError, readPresetFile, writePresetFile } from './preset-file.js';
import { LiveSound, renderOffline } from './velmora-sound.js';
import { instantiate } from './velmora-wasm.js';
import { floatWav } from './wav-file.js';

const MAX_SONG_BYTES = 64 << 20; // as `velmora render` refuses larger files
const MAX_RENDER_SECONDS = 600; // an offline render holds every sample in memory
const DEFAULT_RATE = 44100; // `velmora render`'s

// Compiling starts while the page loads.
const compiled = WebAssembly.compileStreaming(fetch('velmora.wasm'));

const $ = (id) => document.getElementById(id);

function download(blob, name) {
    const a = document.createElement('a');
    a.href = URL.createObjectURL(blob);
    a.download = name;
    a.click();
    setTimeout(() => URL.revokeObjectURL(a.href), 60000);
}

function describeSeconds(seconds) {
    return seconds >= 120 ? `${(seconds / 60).toFixed(1)} minutes` : `${seconds.toFixed(1)} s`;
}

class VelmoraPage {
    async start() {
        this.module = await compiled;
        await this.openPanel();
        this.description = this.unit.describe();
        this.keyboard = new ComputerKeyboard();
        this.sound = null;
        this.song = null; // { name, bytes, events }
        this.controls = new ParameterControls($('parameters'), this.description,
            (id, value) => this.setParameter(id, value));
        this.buildPresetMenu();
        this.listen();
        this.showAll();
        if (this.panelProblem) this.say(this.panelProblem, 'warning');
        else this.say('Click or press a key to start the sound; Z S X D C … and Q 2 W 3 E … play notes.');
    }

    // The page's instance is the one the panel edits, in the panel's module; ?knob-mode=linear
    // turns knobs by dragging, as `velmora edit --knob-mode linear`. Without the panel, the
    // instance is velmora.wasm's and the other controls edit it.
    async openPanel() {
        const linear = new URLSearchParams(location.search).get('knob-mode') === 'linear';
        if (linear) {
            $('knob-mode').href = '?';
            $('knob-mode').textContent = 'Knobs that jump to a click';
        }
        try {
            this.panel = await PanelView.open('panel', DEFAULT_RATE, (id, value) => this.panelChanged(id, value),
                { knobMode: linear ? 'linear' : 'angle' });
            this.unit = this.panel.unit;
        } catch (e) {
            console.error(e);
            this.panel = null;
            this.unit = (await instantiate(this.module)).createInstrument(DEFAULT_RATE);
            $('panel').hidden = true;
            $('all-parameters').open = true;
            this.panelProblem = `The panel could not open (${e.message}); every parameter is below.`;
        }
    }

    // ---- messages on the page

    say(text, kind = 'info') {
        const status = $('status');
        status.textContent = text;
        status.className = kind;
    }

    // ---- sound

    snapshot() {
        const values = new Float32Array(this.description.parameters.length);
        for (let id = 0; id < values.length; ++id) values[id] = this.unit.getParameter(id);
        return { values, name: this.unit.presetName() };
    }

    // Browsers start sound only from a gesture: the first click or key starts it.
    startSound() {
        if (this.sound) return;
        this.sound = new LiveSound(this.module, this.snapshot(), (m) => {
            if (m.type === 'error') this.say(`The instrument stopped: ${m.message}`, 'error');
            if (m.type === 'song-ended') this.showSong();
        });
        this.sound.ready.then(() => this.startMidi(), (e) => this.say(`No sound: ${e.message}`, 'error'));
        this.say('Sound on.');
        this.drawScope();
    }

    send(message) {
        if (this.sound) this.sound.send(message);
    }

    // ---- the sound's settings

    showAll() {
        for (const p of this.description.parameters) this.controls.show(p.id, this.unit.getParameter(p.id));
        $('sound-name').textContent = this.unit.presetName();
    }

    // After a preset or a state: every value to the controls, the panel and the worklet.
    soundChanged() {
        this.showAll();
        if (this.panel) this.panel.notify();
        this.send({ type: 'snapshot', ...this.snapshot() });
    }

    // A control of the panel moved: to the other controls and the worklet.
    panelChanged(id, value) {
        if (this.controls) this.controls.show(id, value);
        this.send({ type: 'parameter', id, value });
    }

    checkParameter(id) {
        if (!Number.isInteger(id) || id < 0 || id >= this.description.parameters.length)
            throw new RangeError(`no parameter ${id} (0 to ${this.description.parameters.length - 1})`);
    }

    getParameter(id) {
        this.checkParameter(id);
        return this.unit.getParameter(id);
    }

    setParameter(id, value) {
        this.checkParameter(id);
        const status = this.unit.setParameter(id, Number(value));
        if (status !== 0) throw new RangeError(`parameter ${id} refuses ${value} (error ${status})`);
        const stored = this.unit.getParameter(id);
        this.controls.show(id, stored);
        if (this.panel) this.panel.notify(id);
        this.send({ type: 'parameter', id, value: stored });
    }

    selectPreset(number) {
        const status = Number.isInteger(number) ? this.unit.selectPreset(number) : -1;
        if (status !== 0) throw new RangeError(`no factory preset ${number}`);
        $('preset').value = String(number);
        this.soundChanged();
    }

    buildPresetMenu() {
        const menu = $('preset');
        const custom = document.createElement('option');
        custom.value = '';
        custom.textContent = '(none)';
        custom.disabled = true;
        menu.append(custom);
        for (const p of this.description.presets) {
            const option = document.createElement('option');
            option.value = String(p.number);
            option.textContent = `${p.number}  ${p.name}`;
            menu.append(option);
        }
        menu.value = '';
        menu.addEventListener('change', () => {
            this.selectPreset(Number(menu.value));
            menu.blur(); // the keys play again
        });
    }

    stepPreset(by) {
        const count = this.description.presets.length;
        const current = $('preset').value === '' ? (by > 0 ? -1 : count) : Number($('preset').value);
        this.selectPreset(Math.min(count - 1, Math.max(0, current + by)));
    }

    // ---- preset files

    async openPresetFile(file) {
        try {
            const bytes = new Uint8Array(await file.slice(0, MAX_PRESET_FILE_BYTES + 1).arrayBuffer());
            const status = this.unit.restoreState(readPresetFile(file.name, bytes));
            if (status !== 0)
                throw new PresetFileError(`${file.name}: not a preset of this instrument, or damaged (error ${status})`);
        } catch (e) {
            if (!(e instanceof PresetFileError)) throw e;
            this.say(e.message, 'error');
            return;
        }
        $('preset').value = '';
        this.soundChanged();
        this.say(`${file.name}: loaded "${this.unit.presetName()}".`);
    }

    savePresetFile() {
        const name = (this.unit.presetName() || 'velmora').replace(/[^\w .-]+/g, '_');
        download(new Blob([writePresetFile(this.unit.saveState())], { type: 'application/xml' }), `${name}.aupreset`);
    }

    // ---- songs

    async openSong(file) {
        if (file.size > MAX_SONG_BYTES) {
            this.say(`${file.name}: file is larger than 64 MiB`, 'error');
            return;
        }
        const bytes = new Uint8Array(await file.arrayBuffer());
        const read = this.unit.readSong(file.name, bytes);
        if (read.error) {
            this.say(read.error, 'error');
            return;
        }
        this.song = { name: file.name, bytes, events: read.events };
        this.showSong();
        if (read.warning) this.say(read.warning, 'warning');
        else this.say(`${file.name}: ${read.events.seconds.length} events.`);
        if (this.sound) this.playSong();
    }

    playSong() {
        if (!this.song) return;
        this.startSound();
        this.send({ type: 'song', ...this.song.events });
        this.songPlaying = true;
        this.showSong();
    }

    stopSong() {
        this.send({ type: 'stop-song' });
        this.songPlaying = false;
        this.showSong();
    }

    showSong() {
        $('song-name').textContent = this.song ? this.song.name : 'none';
        $('play-song').disabled = !this.song;
        $('render-wav').disabled = !this.song;
    }

    // A song rendered offline, with a preset or the page's current sound.
    async renderSong(smfBytes, { preset, sampleRate = DEFAULT_RATE } = {}) {
        if (!Number.isInteger(sampleRate) || sampleRate < 8000 || sampleRate > 384000)
            throw new RangeError(`bad sample rate: ${sampleRate} (a whole number 8000..384000)`);
        if (preset !== undefined && !this.description.presets.some((p) => p.number === preset))
            throw new RangeError(`no factory preset ${preset}`);
        const bytes = smfBytes instanceof Uint8Array ? smfBytes : new Uint8Array(smfBytes);
        const read = this.unit.readSong('the song', bytes);
        if (read.error) throw new Error(read.error);
        if (read.warning) console.warn(read.warning);
        const limit = this.unit.songLimit(sampleRate);
        if (limit > MAX_RENDER_SECONDS * sampleRate)
            throw new RangeError(`the render could last ${describeSeconds(limit / sampleRate)}, more than the page ` +
                `renders (${describeSeconds(MAX_RENDER_SECONDS)}); velmora render has no such limit`);
        const setup = preset !== undefined ? { preset } : { values: this.snapshot().values };
        return renderOffline(this.module, read.events, limit, sampleRate, setup);
    }

    async renderWav() {
        if (!this.song) return;
        this.say(`Rendering ${this.song.name} …`);
        const started = performance.now();
        try {
            const out = await this.renderSong(this.song.bytes);
            const seconds = (performance.now() - started) / 1000;
            const name = this.song.name.replace(/\.(mid|midi|smf)$/i, '') + '.wav';
            download(floatWav(out.channels, out.sampleRate), name);
            this.say(`${name}: ${describeSeconds(out.channels[0].length / out.sampleRate)} of audio, ` +
                `32-bit float at ${out.sampleRate} Hz, rendered in ${seconds.toFixed(2)} s.`);
        } catch (e) {
            this.say(e.message, 'error');
        }
    }

    // ---- files from the pickers and from drops

    async openFile(file) {
        const head = new Uint8Array(await file.slice(0, 4).arrayBuffer());
        const midi = String.fromCharCode(...head) === 'MThd' || /\.(mid|midi|smf)$/i.test(file.name);
        if (midi) await this.openSong(file);
        else await this.openPresetFile(file);
    }

    // ---- playing: the computer keyboard and Web MIDI

    onKey(e, pressed) {
        const target = e.target;
        // A held note ends with its key's release, wherever the focus went meanwhile.
        if (!pressed && this.keyboard.held.has(e.code)) {
            for (const [status, data1, data2] of this.keyboard.key(e.code, false).notes)
                this.send({ type: 'midi', status, data1, data2 });
            return;
        }
        if (e.ctrlKey || e.altKey || e.metaKey) return;
        const typing = target.tagName === 'SELECT' || target.tagName === 'TEXTAREA' ||
            (target.tagName === 'INPUT' && target.type !== 'range');
        const arrows = e.code.startsWith('Arrow') || e.code.startsWith('Page');
        if (typing || (arrows && target.tagName === 'INPUT')) return;
        if (pressed && (e.code === 'PageUp' || e.code === 'PageDown')) {
            this.stepPreset(e.code === 'PageUp' ? -1 : 1);
            e.preventDefault();
            return;
        }
        const { handled, notes } = this.keyboard.key(e.code, pressed);
        if (!handled) return;
        e.preventDefault();
        if (pressed) this.startSound();
        for (const [status, data1, data2] of notes) this.send({ type: 'midi', status, data1, data2 });
        $('keyboard-state').textContent = this.keyboard.describe();
    }

    releaseKeys() {
        for (const [status, data1, data2] of this.keyboard.releaseAll()) this.send({ type: 'midi', status, data1, data2 });
    }

    // Every input and channel; program change selects a factory preset, as in `velmora play`.
    async startMidi() {
        if (!navigator.requestMIDIAccess) {
            $('midi-state').textContent = 'not offered by this browser';
            return;
        }
        try {
            const access = await navigator.requestMIDIAccess();
            const connect = () => {
                const names = [];
                for (const input of access.inputs.values()) {
                    input.onmidimessage = (e) => this.onMidi(e.data);
                    names.push(input.name);
                }
                $('midi-state').textContent = names.length ? names.join(', ') : 'no inputs';
            };
            access.onstatechange = connect;
            connect();
        } catch (e) {
            $('midi-state').textContent = `not allowed (${e.message})`;
        }
    }

    onMidi(data) {
        const status = data[0];
        if (status < 0x80 || status >= 0xF0) return; // system messages
        const kind = status & 0xF0;
        if (data.length < (kind === 0xC0 || kind === 0xD0 ? 2 : 3)) return;
        if (kind === 0xC0) {
            if (data[1] < this.description.presets.length) this.selectPreset(data[1]);
            return;
        }
        this.send({ type: 'midi', status, data1: data[1], data2: kind === 0xD0 ? 0 : data[2] });
    }

    // ---- what the page listens to

    listen() {
        document.addEventListener('keydown', (e) => this.onKey(e, true));
        document.addEventListener('keyup', (e) => this.onKey(e, false));
        window.addEventListener('blur', () => this.releaseKeys());
        document.addEventListener('pointerdown', () => this.startSound());

        const picker = $('file');
        $('open-preset').addEventListener('click', () => { picker.accept = '.aupreset'; picker.click(); });
        $('open-song').addEventListener('click', () => { picker.accept = '.mid,.midi,.smf'; picker.click(); });
        picker.addEventListener('change', () => {
            for (const file of picker.files) this.openFile(file);
            picker.value = '';
        });
        $('save-preset').addEventListener('click', () => this.savePresetFile());
        $('play-song').addEventListener('click', () => this.playSong());
        $('stop-song').addEventListener('click', () => this.stopSong());
        $('render-wav').addEventListener('click', () => this.renderWav());

        document.addEventListener('dragover', (e) => e.preventDefault());
        document.addEventListener('drop', (e) => {
            e.preventDefault();
            for (const file of e.dataTransfer.files) this.openFile(file);
        });
    }

    drawScope() {
        const canvas = $('scope'), g = canvas.getContext('2d');
        const draw = () => {
            const { samples } = this.sound.recentOutput();
            const { width, height } = canvas;
            g.clearRect(0, 0, width, height);
            g.beginPath();
            const shown = Math.min(samples.length, 2048), start = samples.length - shown;
            for (let x = 0; x < width; ++x) {
                const s = samples[start + Math.floor(x * shown / width)] || 0;
                const y = height / 2 - s * height / 2;
                if (x) g.lineTo(x, y);
                else g.moveTo(x, y);
            }
            g.stroke();
            requestAnimationFrame(draw);
        };
        requestAnimationFrame(draw);
    }
}

// The scripting interface: `await velmora.ready`, then renderSong, selectPreset,
// setParameter and getParameter.
const page = new VelmoraPage();
const ready = page.start();
ready.catch((e) => page.say(`The instrument could not start: ${e.message}`, 'error'));
window.velmora = {
    ready,
    renderSong: (smfBytes, options) => page.renderSong(smfBytes, options),
    selectPreset: (number) => page.selectPreset(number),
    setParameter: (id, value) => page.setParameter(id, value),
    getParameter: (id) => page.getParameter(id),
    // The latest live output, { sampleRate, samples }, for a look at what plays.
    recentOutput: () => (page.sound ? page.sound.recentOutput() : { sampleRate: 0, samples: new Float32Array(0) }),
};
