// What the computer keyboard plays on the page, as in `velmora play`. Notes go by
// KeyboardEvent.code, the key's place whatever the layout: the lower row
// Z S X D C V G B H N J M is one octave from C, the upper row Q 2 W 3 E R 5 T 6 Y 7 U
// the next. Left and Right move the octave, Up and Down the velocity by 16. A key
// already down is the keyboard's repeat and plays nothing; a key plays until its
// release, or until the page loses the focus.

const LOWER_ROW = ['KeyZ', 'KeyS', 'KeyX', 'KeyD', 'KeyC', 'KeyV', 'KeyG', 'KeyB', 'KeyH', 'KeyN', 'KeyJ', 'KeyM'];
const UPPER_ROW = ['KeyQ', 'Digit2', 'KeyW', 'Digit3', 'KeyE', 'KeyR', 'Digit5', 'KeyT', 'Digit6', 'KeyY', 'Digit7',
    'KeyU'];

// Semitones above the lower row's C (0..23), or null for a key that plays no note.
export function keyboardSemitone(code) {
    const lower = LOWER_ROW.indexOf(code);
    if (lower >= 0) return lower;
    const upper = UPPER_ROW.indexOf(code);
    return upper >= 0 ? 12 + upper : null;
}

export class ComputerKeyboard {
    static LOWEST_C = 24;
    static HIGHEST_C = 96;

    constructor() {
        this.lowerC = 48;
        this.velocity = 100;
        this.held = new Map(); // code -> the key it plays
    }

    // The MIDI messages ([status, key, velocity]) a press or release plays; true in
    // `handled` when the key is the keyboard's (a note, an arrow).
    key(code, pressed) {
        const semitone = keyboardSemitone(code);
        if (semitone !== null) {
            if (pressed) {
                if (this.held.has(code)) return { handled: true, notes: [] };
                const key = this.lowerC + semitone;
                this.held.set(code, key);
                return { handled: true, notes: [[0x90, key, this.velocity]] };
            }
            const key = this.held.get(code);
            this.held.delete(code);
            return { handled: true, notes: key === undefined ? [] : [[0x80, key, 0]] };
        }
        if (!pressed) return { handled: false, notes: [] };
        switch (code) {
            case 'ArrowLeft': this.lowerC = Math.max(ComputerKeyboard.LOWEST_C, this.lowerC - 12); break;
            case 'ArrowRight': this.lowerC = Math.min(ComputerKeyboard.HIGHEST_C, this.lowerC + 12); break;
            case 'ArrowUp': this.velocity = Math.min(127, this.velocity + 16); break;
            case 'ArrowDown': this.velocity = Math.max(1, this.velocity - 16); break;
            default: return { handled: false, notes: [] };
        }
        return { handled: true, notes: [] };
    }

    // Releases every held key.
    releaseAll() {
        const notes = [...this.held.values()].map((key) => [0x80, key, 0]);
        this.held.clear();
        return notes;
    }

    // "C3, velocity 100": the lower row's octave (middle C, key 60, is C4).
    describe() { return `C${Math.floor(this.lowerC / 12) - 1}, velocity ${this.velocity}`; }
}
