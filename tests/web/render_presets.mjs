// Renders a song with every factory preset in velmora.wasm, as the page's worklet plays it
// (64-frame calls until the song ends), and writes each render's frames, both channels
// interleaved as 32-bit floats, to OUT_DIR/presetN.f32.
//     node render_presets.mjs VELMORA_WASM SONG.mid OUT_DIR
import { readFileSync, writeFileSync } from 'fs';
import { join } from 'path';
import { BLOCK_FRAMES, instantiate } from '../../web/velmora-wasm.js';

const [wasmPath, songPath, outDir] = process.argv.slice(2);
const module = await instantiate(await WebAssembly.compile(readFileSync(wasmPath)));
const song = readFileSync(songPath);
const presets = module.createInstrument(44100).describe().presets;
for (const { number } of presets) {
    const instrument = module.createInstrument(44100);
    if (instrument.selectPreset(number) !== 0) throw new Error(`preset ${number} cannot be selected`);
    const read = instrument.readSong('the song', song);
    if (read.error) throw new Error(read.error);
    const limit = instrument.songLimit(44100);
    if (instrument.playSong(read.events.seconds, read.events.bytes) !== 0) throw new Error('the song cannot start');
    const frames = new Float32Array(2 * (Math.ceil(limit / BLOCK_FRAMES) + 1) * BLOCK_FRAMES);
    for (let at = 0; at < limit && instrument.songPlaying(); at += BLOCK_FRAMES) {
        if (instrument.render() !== 0) throw new Error(`preset ${number}: rendering failed`);
        const [left, right] = instrument.outputs();
        for (let i = 0; i < BLOCK_FRAMES; ++i) {
            frames[2 * (at + i)] = left[i];
            frames[2 * (at + i) + 1] = right[i];
        }
    }
    const end = instrument.songPosition();
    writeFileSync(join(outDir, `preset${number}.f32`), Buffer.from(frames.buffer, 0, 8 * end));
}
