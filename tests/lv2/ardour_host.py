#!/usr/bin/env python3
"""Velmora's LV2 plug-in in Ardour, headless: ardour7-lua scripts on the Dummy
backend at 44.1 kHz, in a temporary home with a float-WAV export format of its
own, and LV2_PATH naming only the build's bundle folder.

    ardour_host.py play   VELMORA BUNDLE_DIR   # a song plays as `velmora render` plays it
    ardour_host.py reopen VELMORA BUNDLE_DIR   # a preset and a changed control survive a reopen

Ardour's Lua has no MIDI file import, so the song goes into the session as
Ardour's import puts it there: the file in interchange/NAME/midifiles/, a source
whose controllers are discrete, and a region on the track's playlist.

Ardour 7.3 sometimes crashes or hangs in whatever follows an export (saving,
closing), now and then in the export's last cycle, so the script saves before
it exports. A run is judged by the lines its script prints after each step and
by the files it leaves; its exit status is only reported. A run that did not reach
the lines the test needs is tried again from a copy of the session, at most
three times.
"""
import array
import os
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

HERE = os.path.dirname(os.path.abspath(__file__))
SCRIPTS = os.path.join(HERE, 'ardour')
RATE = 44100
NAME = 'velmora'
ATTEMPTS = 3
TIMEOUT = 180  # seconds for one ardour7-lua run

# Ardour counts 1920 ticks per beat; at 120 BPM and 44.1 kHz, 64 ticks are 735
# frames exactly, so every event below lies on a frame both hosts agree on.
PPQN = 1920
BEAT = PPQN
SONG_TICKS = 4 * BEAT  # one bar: the region's length
# 2.5 s (the bar and the last note's release) in whole 64-frame slices: `velmora
# render --frames` ends with a shorter slice where the host renders a whole one.
FRAMES = 1723 * 64

EXPORT_FORMAT_ID = '5f0c7d52-8a1b-4d3e-9c6f-76656c6d6f01'
EXPORT_PRESET_ID = '5f0c7d52-8a1b-4d3e-9c6f-76656c6d6f02'


def song_events():
    """(tick, message) of a short phrase: legato and detached notes, a
    mod-wheel ramp, pitch bends and channel pressure."""
    events = []

    def note(at, length, key, velocity):
        events.append((at, bytes([0x90, key, velocity])))
        events.append((at + length, bytes([0x80, key, 64])))

    note(0, BEAT // 2, 48, 100)
    note(BEAT // 2, BEAT // 2 + 128, 55, 80)  # overlaps the next: legato
    note(BEAT + 128, BEAT, 60, 127)
    for i in range(16):
        events.append((BEAT + 64 * i, bytes([0xB0, 1, 8 * i])))
    for i in range(8):
        bend = 8192 + 900 * i
        events.append((2 * BEAT + 64 * i, bytes([0xE0, bend & 127, bend >> 7])))
    note(2 * BEAT + 256, BEAT // 2, 51, 60)
    events.append((2 * BEAT + 512, bytes([0xD0, 90])))
    note(3 * BEAT, BEAT // 2, 63, 110)
    return sorted(events, key=lambda e: e[0])


def write_smf(path, events):
    """A format 0 Standard MIDI File with no tempo: 120 BPM for both hosts."""

    def vlq(n):
        out = [n & 0x7F]
        while n > 0x7F:
            n >>= 7
            out.insert(0, 0x80 | (n & 0x7F))
        return bytes(out)

    track, last = b'', 0
    for tick, message in events:
        track += vlq(tick - last) + message
        last = tick
    track += vlq(0) + b'\xff\x2f\x00'
    with open(path, 'wb') as f:
        f.write(b'MThd' + struct.pack('>IHHH', 6, 0, 1, PPQN) + b'MTrk' + struct.pack('>I', len(track)) + track)


def controller_symbols(events):
    """Ardour's names of the controllers a song uses, as its import marks them."""
    symbols = set()
    for _, m in events:
        kind, channel = m[0] & 0xF0, m[0] & 0x0F
        if kind == 0xB0:
            symbols.add('midicc-%d-%d' % (channel, m[1]))
        elif kind == 0xE0:
            symbols.add('midi-pitch-bender-%d' % channel)
        elif kind == 0xD0:
            symbols.add('midi-channel-pressure-%d' % channel)
    return sorted(symbols)


def add_song(session_dir, smf, events):
    """Puts the song into the saved session as Ardour's MIDI import does."""
    midi_dir = os.path.join(session_dir, 'interchange', NAME, 'midifiles')
    os.makedirs(midi_dir, exist_ok=True)
    shutil.copy(smf, os.path.join(midi_dir, 'song.mid'))

    path = os.path.join(session_dir, NAME + '.ardour')
    tree = ET.parse(path)
    root = tree.getroot()
    next_id = int(root.get('id-counter'))
    source_id, whole_id, region_id = (str(next_id + i) for i in range(3))
    root.set('id-counter', str(next_id + 3))

    # Discrete: a controller holds its value until the next event, as in the
    # file; Ardour would otherwise ramp between the events.
    source = ET.SubElement(root.find('Sources'), 'Source', {
        'name': 'song.mid', 'take-id': '', 'type': 'midi', 'flags': 'Writable', 'id': source_id,
        'origin': os.path.abspath(smf)})
    for symbol in controller_symbols(events):
        ET.SubElement(source, 'InterpolationStyle', {'parameter': symbol, 'style': 'Discrete'})

    def region(parent, region_id, whole):
        ET.SubElement(parent, 'Region', {
            'name': 'song', 'start': 'b0', 'length': 'b%d@b0' % (SONG_TICKS * 1920 // PPQN),
            'whole-file': whole, 'external': '1', 'import': '0', 'layer': '0', 'type': 'midi', 'id': region_id,
            'source-0': source_id, 'master-source-0': source_id})

    region(root.find('Regions'), whole_id, '1')
    track = root.find("Routes/Route[@name='Velmora']")
    playlist = root.find("Playlists/Playlist[@orig-track-id='%s']" % track.get('id'))
    region(playlist, region_id, '0')
    tree.write(path, encoding='UTF-8', xml_declaration=True)


def write_export_format(config_dir):
    """A WAV of 32-bit floats at the session's rate: no dither, normalisation or trim."""
    export_dir = os.path.join(config_dir, 'ardour7', 'export')
    os.makedirs(export_dir)
    with open(os.path.join(export_dir, 'velmora-float.format'), 'w') as f:
        f.write(f'''<?xml version="1.0" encoding="UTF-8"?>
<ExportFormatSpecification name="Float WAV" id="{EXPORT_FORMAT_ID}" with-cue="false" with-toc="false" with-mp4chaps="false" command="" analyse="false" soundcloud-upload="false">
  <Encoding id="F_WAV" type="T_Sndfile" extension="wav" name="WAV" has-sample-format="true" channel-limit="256"/>
  <SampleRate rate="SR_Session"/>
  <SRCQuality quality="SRC_SincBest"/>
  <EncodingOptions>
    <Option name="sample-format" value="SF_Float"/>
    <Option name="dithering" value="D_None"/>
    <Option name="tag-metadata" value="false"/>
    <Option name="tag-support" value="false"/>
    <Option name="broadcast-info" value="false"/>
  </EncodingOptions>
  <Processing>
    <Normalize enabled="false" loudness="false" dbfs="0" lufs="-23" dbtp="-1"/>
    <Silence>
      <Start><Trim enabled="false"/><Add enabled="false"><Duration format="Timecode" hours="0" minutes="0" seconds="0" frames="0"/></Add></Start>
      <End><Trim enabled="false"/><Add enabled="false"><Duration format="Timecode" hours="0" minutes="0" seconds="0" frames="0"/></Add></End>
    </Silence>
  </Processing>
</ExportFormatSpecification>
''')
    with open(os.path.join(export_dir, 'velmora-float.preset'), 'w') as f:
        f.write(f'''<?xml version="1.0" encoding="UTF-8"?>
<ExportPreset id="{EXPORT_PRESET_ID}" name="Float WAV">
  <ExportFormat id="{EXPORT_FORMAT_ID}"/>
  <ExportFilename>
    <Folder relative="1" path="export"/>
    <Field name="label" enabled="0"/>
    <Field name="session" enabled="0"/>
    <Field name="snapshot" enabled="0"/>
    <Field name="timespan" enabled="1"/>
    <Field name="revision" enabled="0"/>
    <Field name="time" enabled="0" value="T_None"/>
    <Field name="date" enabled="0" value="D_None"/>
  </ExportFilename>
</ExportPreset>
''')


class Ardour:
    """Runs ardour7-lua scripts in a home of their own."""

    def __init__(self, work, bundle_dir):
        self.work = work
        home = os.path.join(work, 'home')
        config = os.path.join(home, '.config')
        write_export_format(config)
        self.env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=config,
                        XDG_CACHE_HOME=os.path.join(home, '.cache'), XDG_DATA_HOME=os.path.join(home, '.local/share'),
                        LV2_PATH=os.path.dirname(os.path.abspath(bundle_dir)))
        self.session = os.path.join(work, NAME)

    def run(self, script, args, needed, snapshot=None):
        """Lines of the first run that printed every line in `needed`; None
        when none of ATTEMPTS runs did. Each attempt starts afresh: with no
        session folder, or with a copy of `snapshot`."""
        for attempt in range(1, ATTEMPTS + 1):
            shutil.rmtree(self.session, ignore_errors=True)
            if snapshot:
                shutil.copytree(snapshot, self.session, symlinks=True)
            process = subprocess.Popen(['ardour7-lua', os.path.join(SCRIPTS, script)] + args, env=self.env,
                                       cwd=self.work, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                       start_new_session=True)
            try:
                output, _ = process.communicate(timeout=TIMEOUT)
                code = process.returncode
                status = 'exit status %d' % code if code >= 0 else 'ended by signal %d' % -code
            except subprocess.TimeoutExpired:
                os.killpg(process.pid, signal.SIGKILL)
                output, _ = process.communicate()
                status = 'no end after %d s, killed' % TIMEOUT
            try:
                os.killpg(process.pid, signal.SIGKILL)  # whatever it left behind
            except ProcessLookupError:
                pass
            text = output.decode('utf-8', 'replace')
            lines = text.splitlines()
            missing = [line for line in needed if line not in lines]
            print('%s, run %d: %s; %s' % (script, attempt, status,
                                          'missing ' + ', '.join(missing) if missing else 'every step done'))
            if not missing:
                return lines
            # A failed step of the script is the test's failure, not Ardour's abort.
            script_failed = any(line.startswith('Error: ') for line in lines)
            print('--- its output:\n' + text[-4000:] + '\n---')
            if script_failed:
                break
        return None

    def create(self, preset='', change=''):
        lines = self.run('create.lua', [self.session, NAME, preset, change], ['saved'])
        return controls(lines) if lines else None

    def play(self, snapshot, block):
        out = os.path.join(self.work, 'export')
        wav = os.path.join(out, 'ardour.wav')

        def attempt():
            shutil.rmtree(out, ignore_errors=True)
            return self.run('play.lua', [self.session, NAME, out, 'ardour', str(FRAMES), EXPORT_PRESET_ID,
                                         str(block)], ['block %d' % block, 'exported', 'saved'], snapshot)

        lines = attempt()
        if lines is None or not os.path.exists(wav):
            return None, None
        return controls(lines), wav


def controls(lines):
    return {int(l.split()[1]): l.split()[2] for l in lines if l.startswith('control ')}


def wav_frames(path):
    """(channels, rate, bits, samples as floats) of a float WAV."""
    with open(path, 'rb') as f:
        data = f.read()
    if data[:4] != b'RIFF' or data[8:12] != b'WAVE':
        raise ValueError(path + ' is no WAV file')
    at, fmt, samples = 12, None, None
    while at + 8 <= len(data):
        chunk, size = data[at:at + 4], struct.unpack('<I', data[at + 4:at + 8])[0]
        if chunk == b'fmt ':
            fmt = struct.unpack('<HHIIHH', data[at + 8:at + 24])
        elif chunk == b'data':
            samples = data[at + 8:at + 8 + size]
        at += 8 + size + (size & 1)
    if fmt is None or samples is None:
        raise ValueError(path + ' has no format or no data')
    return fmt[1], fmt[2], fmt[5], array.array('f', samples)


def same_audio(exported, rendered):
    """True when both files hold the same float samples, bit for bit."""
    a, b = wav_frames(exported), wav_frames(rendered)
    if a[:3] != b[:3] or a[:3] != (2, RATE, 32):
        print('formats differ: Ardour %s, velmora render %s (channels, rate, bits)' % (a[:3], b[:3]))
        return False
    x, y = a[3], b[3]
    if len(x) != len(y):
        print('Ardour exported %d frames, velmora render wrote %d' % (len(x) // 2, len(y) // 2))
        return False
    if x.tobytes() == y.tobytes():
        print('the export equals velmora render --format float, %d frames bit for bit' % (len(x) // 2))
        return True
    differ = [i for i in range(len(x)) if x[i] != y[i]]
    worst = max(abs(x[i] - y[i]) for i in differ)
    print('%d of %d samples differ, the first at frame %d (Ardour %.9g, velmora render %.9g), at most by %.3g' %
          (len(differ), len(x), differ[0] // 2, x[differ[0]], y[differ[0]], worst))

    # What kind of difference: sound starting elsewhere, or the same sound moved.
    def first_sound(s):
        return next((i // 2 for i, v in enumerate(s) if v != 0), None)

    print('first sound: Ardour at frame %s, velmora render at frame %s' % (first_sound(x), first_sound(y)))
    for shift in range(64, 8193, 64):  # whole slices, as a host cycle moves it
        if x[2 * shift:].tobytes() == y[:len(y) - 2 * shift].tobytes():
            print("Ardour's export is velmora render's, %d frames later" % shift)
            break
        if y[2 * shift:].tobytes() == x[:len(x) - 2 * shift].tobytes():
            print("Ardour's export is velmora render's, %d frames earlier" % shift)
            break
    return False


def render(velmora, work, smf, *options):
    out = os.path.join(work, 'render.wav')
    subprocess.run([velmora, 'render', smf, out, '--format', 'float', '--frames', str(FRAMES), *options],
                   check=True, stdout=subprocess.DEVNULL)
    return out


def prepare(work, bundle_dir, preset, change=''):
    """The session with Velmora, the preset and the change, and the song on its
    track; its controls as created and a copy of the folder to start runs from."""
    ardour = Ardour(work, bundle_dir)
    created = ardour.create(preset, change)
    if created is None:
        return ardour, None, None
    events = song_events()
    smf = os.path.join(work, 'song.mid')
    write_smf(smf, events)
    add_song(ardour.session, smf, events)
    snapshot = os.path.join(work, 'session.saved')
    shutil.copytree(ardour.session, snapshot, symlinks=True)
    return ardour, created, snapshot


def test_play(velmora, bundle_dir, work):
    """A [MW] preset, so the mod-wheel ramp is heard; Ardour's default block of 1024."""
    ardour, created, snapshot = prepare(work, bundle_dir, 'urn:velmora:instrument:preset:09')
    if created is None:
        return False
    _, wav = ardour.play(snapshot, 1024)
    return wav is not None and same_audio(wav, render(velmora, work, os.path.join(work, 'song.mid'), '--preset', '9'))


def preset_name_saved(session_dir):
    """The settings name in the plug-in state of the session's last save."""
    root = ET.parse(os.path.join(session_dir, NAME + '.ardour')).getroot()
    processor = root.find(".//Processor[@unique-id='urn:velmora:instrument']")
    state = os.path.join(session_dir, 'plugins', processor.get('id'), processor.find('lv2').get('state-dir'),
                         'state.ttl')
    with open(state, encoding='utf-8') as f:
        text = f.read()
    marker = '<urn:velmora:instrument#presetName> "'
    return text[text.index(marker) + len(marker):].split('"')[0] if marker in text else None


def test_reopen(velmora, bundle_dir, work):
    """Preset 12 and FilterA fc (parameter 49) turned to 40, saved, reopened in
    blocks of 128: every control as saved, the preset's name in the state saved
    again, and the sound of `velmora render --preset 12 --set 49=40`."""
    ardour, created, snapshot = prepare(work, bundle_dir, 'urn:velmora:instrument:preset:12', '49=40')
    if created is None:
        return False
    ok = len(created) == 102 and created.get(49) == '40'
    if not ok:
        print('the new session has %d controls, FilterA fc at %s' % (len(created), created.get(49)))
    restored, wav = ardour.play(snapshot, 128)
    if wav is None:
        return False
    changed = sorted(i for i in created if restored.get(i) != created[i])
    if changed or len(restored) != 102:
        print('%d controls after reopening; these differ from the saved ones: %s' % (len(restored), ', '.join(
            '%d (%s, now %s)' % (i, created[i], restored.get(i)) for i in changed)))
        ok = False
    name = preset_name_saved(ardour.session)
    if name != 'deep pad [MW]':
        print('the plug-in state saved after reopening names %r, not "deep pad [MW]"' % name)
        ok = False
    sound = same_audio(wav, render(velmora, work, os.path.join(work, 'song.mid'), '--preset', '12', '--set', '49=40'))
    return ok and sound


def main():
    if len(sys.argv) != 4 or sys.argv[1] not in ('play', 'reopen'):
        sys.exit(__doc__)
    test, velmora, bundle_dir = sys.argv[1], os.path.abspath(sys.argv[2]), sys.argv[3]
    if not shutil.which('ardour7-lua'):
        sys.exit('ardour7-lua not found: scripts/install-ardour.sh installs Ardour')
    work = tempfile.mkdtemp(prefix='velmora-ardour-')
    try:
        ok = (test_play if test == 'play' else test_reopen)(velmora, bundle_dir, work)
    finally:
        if os.environ.get('VELMORA_KEEP_ARDOUR_WORK'):
            print('work folder kept: ' + work)
        else:
            shutil.rmtree(work, ignore_errors=True)
    print('passed' if ok else 'FAILED')
    sys.exit(0 if ok else 1)


if __name__ == '__main__':
    main()
