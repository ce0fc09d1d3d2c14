// A WAV file of 32-bit float samples (IEEE float, little-endian, interleaved), as
// `velmora render --format float` writes the same samples.
export function floatWav(channels, sampleRate) {
    const frames = channels[0].length, count = channels.length;
    const dataBytes = frames * count * 4;
    const header = new ArrayBuffer(58);
    const v = new DataView(header);
    const tag = (at, text) => [...text].forEach((c, i) => v.setUint8(at + i, c.charCodeAt(0)));
    tag(0, 'RIFF');
    v.setUint32(4, 50 + dataBytes, true);
    tag(8, 'WAVE');
    tag(12, 'fmt ');
    v.setUint32(16, 18, true);
    v.setUint16(20, 3, true); // WAVE_FORMAT_IEEE_FLOAT
    v.setUint16(22, count, true);
    v.setUint32(24, sampleRate, true);
    v.setUint32(28, sampleRate * count * 4, true);
    v.setUint16(32, count * 4, true);
    v.setUint16(34, 32, true);
    v.setUint16(36, 0, true);
    tag(38, 'fact'); // every format but integer PCM carries one
    v.setUint32(42, 4, true);
    v.setUint32(46, frames, true);
    tag(50, 'data');
    v.setUint32(54, dataBytes, true);
    const samples = new Float32Array(frames * count); // the header's 58 bytes leave floats unaligned there
    for (let c = 0; c < count; ++c) {
        const channel = channels[c];
        for (let i = 0; i < frames; ++i) samples[i * count + c] = channel[i];
    }
    return new Blob([header, samples.buffer], { type: 'audio/wav' });
}
