// The AudioWorkletProcessor that sounds: one instrument of velmora.wasm at the
// context's rate, rendered in 64-frame calls through each quantum. Notes,
// parameter changes and songs come through the port and apply at the start of
// the next quantum. Nothing thrown reaches the audio thread's caller: a failure
// silences the processor and is reported on the port.
//
// processorOptions: module (velmora.wasm compiled by the page); then, applied in
// this order, preset (a factory preset's number), values (102 parameter values in
// ID order), song ({ seconds, bytes } as the page read it); offline: true stops
// rendering when the song has ended (an OfflineAudioContext's render).
//
// Port messages in: { type: 'midi', status, data1, data2 }, { type: 'parameter',
// id, value }, { type: 'snapshot', values, name } (after a preset or state load on
// the page), { type: 'song', seconds, bytes }, { type: 'stop-song' }.
// Out: { type: 'song-ended', frames } (the render's length, by `velmora render`'s
// rule), { type: 'error', message }.
import { BLOCK_FRAMES, instantiateSync } from './velmora-wasm.js';

class VelmoraProcessor extends AudioWorkletProcessor {
    constructor(options) {
        super();
        const o = options.processorOptions;
        this.pending = [];
        this.silent = false;
        this.songStarted = false;
        this.offline = !!o.offline;
        this.port.onmessage = (e) => this.pending.push(e.data);
        try {
            this.instrument = instantiateSync(o.module).createInstrument(sampleRate);
            if (o.preset !== undefined) this.check(this.instrument.selectPreset(o.preset), 'selecting the preset');
            if (o.values) this.applyValues(o.values);
            if (o.song) this.startSong(o.song);
        } catch (e) {
            this.fail(e);
        }
    }

    check(status, what) {
        if (status !== 0) throw new Error(`${what} failed (error ${status})`);
    }

    fail(error) {
        this.silent = true;
        this.port.postMessage({ type: 'error', message: String(error && error.message || error) });
    }

    // As a preset is applied: every parameter in ID order.
    applyValues(values) {
        for (let id = 0; id < values.length; ++id) this.instrument.setParameter(id, values[id]);
    }

    startSong(song) {
        this.check(this.instrument.playSong(song.seconds, song.bytes), 'starting the song');
        this.songStarted = true;
    }

    apply(message) {
        switch (message.type) {
            case 'midi': this.instrument.midi(message.status, message.data1, message.data2); break;
            case 'parameter': this.instrument.setParameter(message.id, message.value); break;
            case 'snapshot': this.applyValues(message.values); break;
            case 'song': this.startSong(message); break;
            case 'stop-song':
                this.instrument.stopSong();
                this.songStarted = false;
                break;
        }
    }

    process(inputs, outputs) {
        if (this.silent) return true;
        const out = outputs[0];
        try {
            for (const message of this.pending) this.apply(message);
            this.pending.length = 0;
            // One call per 64 frames: a single 128-frame call would read the controllers
            // and start notes on another grid than `velmora render`'s.
            const calls = out[0].length / BLOCK_FRAMES;
            for (let i = 0; i < calls; ++i) {
                this.check(this.instrument.render(), 'rendering');
                const rendered = this.instrument.outputs();
                for (let c = 0; c < out.length; ++c) out[c].set(rendered[c % 2], i * BLOCK_FRAMES);
                if (this.songStarted && !this.instrument.songPlaying()) {
                    this.songStarted = false;
                    this.port.postMessage({ type: 'song-ended', frames: this.instrument.songPosition() });
                    if (this.offline) {
                        this.silent = true; // past the end nothing is kept: the rest is left silent
                        break;
                    }
                }
            }
        } catch (e) {
            this.fail(e);
        }
        return true;
    }
}

registerProcessor('velmora', VelmoraProcessor);
