// Where the page's sound is made: the live AudioContext with the instrument's
// AudioWorklet, and offline renders of a song in an OfflineAudioContext through
// the same worklet code, cut as `velmora render` cuts them.

const WORKLET = 'velmora-worklet.js';

// Renders a song ({ seconds, bytes } as the page read it) at `sampleRate` to its
// end: the last event plus the tail, cut where the instrument fell idle.
// `setup` is { preset } or { values }. Resolves to { sampleRate, channels }.
export async function renderOffline(module, song, limit, sampleRate, setup) {
    const context = new OfflineAudioContext({ numberOfChannels: 2, length: Math.max(1, limit), sampleRate });
    await context.audioWorklet.addModule(WORKLET);
    const node = new AudioWorkletNode(context, 'velmora', {
        numberOfInputs: 0,
        numberOfOutputs: 1,
        outputChannelCount: [2],
        processorOptions: { module, ...setup, song, offline: true },
    });
    const ended = new Promise((resolve, reject) => {
        node.port.onmessage = (e) => {
            if (e.data.type === 'song-ended') resolve(e.data.frames);
            else if (e.data.type === 'error') reject(new Error(e.data.message));
        };
    });
    node.connect(context.destination);
    const [buffer, frames] = await Promise.all([context.startRendering(), ended]);
    return { sampleRate, channels: [0, 1].map((c) => buffer.getChannelData(c).slice(0, frames)) };
}

// The instrument that plays: created at the first gesture (browsers start sound
// only then), at the device's rate.
export class LiveSound {
    // Starts the context at once (inside the gesture), then the worklet; `setup`
    // gives the sound to start with ({ values }).
    constructor(module, setup, onMessage) {
        this.context = new AudioContext({ latencyHint: 'interactive' });
        this.queue = [];
        this.node = null;
        this.ready = this.context.audioWorklet.addModule(WORKLET).then(() => {
            this.node = new AudioWorkletNode(this.context, 'velmora', {
                numberOfInputs: 0,
                numberOfOutputs: 1,
                outputChannelCount: [2],
                processorOptions: { module, ...setup },
            });
            this.node.port.onmessage = (e) => onMessage(e.data);
            // The scope and the scripting interface read the output here.
            this.analyser = new AnalyserNode(this.context, { fftSize: 32768 });
            this.node.connect(this.context.destination);
            this.node.connect(this.analyser);
            for (const message of this.queue) this.node.port.postMessage(message);
            this.queue = null;
        });
    }

    // To the worklet, in order, also before it has started.
    send(message) {
        if (this.node) this.node.port.postMessage(message);
        else this.queue.push(message);
    }

    // The latest output ({ sampleRate, samples }: about 0.7 s at 48 kHz, the channels mixed).
    recentOutput() {
        const samples = new Float32Array(this.analyser ? this.analyser.fftSize : 0);
        if (this.analyser) this.analyser.getFloatTimeDomainData(samples);
        return { sampleRate: this.context.sampleRate, samples };
    }
}
