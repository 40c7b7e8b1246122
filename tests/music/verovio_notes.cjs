// Reads a MusicXML or compressed MusicXML file with Verovio and prints, one
// line per sounding note (tied notes joined), in order of onset:
//   sounding-pitch read-pitch step octave onset duration written-accidental
// The sounding pitch is the MIDI note Verovio plays; the read pitch is what a
// musician reads from the notation Verovio draws: the head's line or space,
// its own sign, else a sign earlier in its bar on the same line or space,
// else the key signature. Onset and duration are in quarter notes; the
// written accidental is "-" when none is drawn. The first line is "notes N".
// Usage: node verovio_notes.cjs VEROVIO_PACKAGE_DIR FILE
'use strict';
const fs = require('fs');
const [packageDir, file] = process.argv.slice(2);
let verovio;
try {
  verovio = require(packageDir);
} catch (e) {
  console.error('verovio is not installed in ' + packageDir + ': run scripts/fetch-verovio.sh');
  process.exit(2);
}

const kSemitone = {c: 0, d: 2, e: 4, f: 5, g: 7, a: 9, b: 11};
const kAlter = {s: 1, f: -1, n: 0, ss: 2, x: 2, ff: -2};
const kSharpOrder = 'fcgdaeb', kFlatOrder = 'beadgcf';

function attr(text, name) {
  const m = text.match(new RegExp('(?:^|\\s)' + name.replace('.', '\\.') + '="([^"]*)"'));
  return m ? m[1] : undefined;
}

// "3f" or "2s" or "0": the alteration the signature gives each step.
function keyAlterations(sig) {
  const alter = {};
  const m = (sig || '0').match(/^(\d+)([sf]?)$/);
  if (!m) return alter;
  const order = m[2] === 's' ? kSharpOrder : kFlatOrder;
  for (let i = 0; i < Number(m[1]); ++i) alter[order[i]] = m[2] === 's' ? 1 : -1;
  return alter;
}

verovio.module.onRuntimeInitialized = () => {
  const tk = new verovio.toolkit();
  const bytes = fs.readFileSync(file);
  const loaded = file.toLowerCase().endsWith('.mxl')
    ? tk.loadZipDataBuffer(bytes.buffer.slice(bytes.byteOffset, bytes.byteOffset + bytes.length))
    : tk.loadData(bytes.toString('utf8'));
  if (!loaded) {
    console.error('Verovio could not load ' + file);
    process.exit(1);
  }
  const mei = tk.getMEI();
  tk.renderToMIDI();  // lays out the timing that the queries below read

  // Notes in score order with their written signs.
  const notes = new Map();
  const order = [];
  let current = null;
  for (const m of mei.matchAll(/<(\/?)(measure|keySig|staffDef|note|accid|tie)\b([^>]*?)(\/?)>/g)) {
    const [, closing, tag, body, selfClosing] = m;
    if (closing) {
      if (tag === 'note') current = null;
      continue;
    }
    if (tag === 'note') {
      const note = {id: attr(body, 'xml:id'), step: attr(body, 'pname'), octave: Number(attr(body, 'oct')),
                    written: attr(body, 'accid')};
      notes.set(note.id, note);
      order.push({kind: 'note', note});
      if (!selfClosing) current = note;
    } else if (tag === 'accid' && current) {
      if (attr(body, 'accid') !== undefined) current.written = attr(body, 'accid');
    } else if (tag === 'keySig' || (tag === 'staffDef' && attr(body, 'keysig') !== undefined)) {
      order.push({kind: 'key', sig: attr(body, tag === 'keySig' ? 'sig' : 'keysig')});
    } else if (tag === 'measure') {
      order.push({kind: 'bar'});
    } else if (tag === 'tie') {
      const start = notes.get((attr(body, 'startid') || '').replace('#', ''));
      const endId = (attr(body, 'endid') || '').replace('#', '');
      order.push({kind: 'tie', start, endId});
    }
  }
  // Ties may stand after the notes they join: link them first.
  for (const item of order) {
    if (item.kind !== 'tie' || !item.start || !notes.has(item.endId)) continue;
    item.start.tiedTo = item.endId;
    notes.get(item.endId).tiedFrom = item.start;
  }

  // Read the notation as a musician does.
  let key = {}, carried = {};
  for (const item of order) {
    if (item.kind === 'key') key = keyAlterations(item.sig);
    if (item.kind === 'bar') carried = {};
    if (item.kind !== 'note') continue;
    const n = item.note, place = n.step + n.octave;
    let alter;
    if (n.tiedFrom) alter = n.tiedFrom.alter;
    else if (n.written !== undefined) alter = carried[place] = kAlter[n.written] || 0;
    else alter = place in carried ? carried[place] : key[n.step] || 0;
    n.alter = alter;
    n.read = 12 * (n.octave + 1) + kSemitone[n.step] + alter;
    const values = tk.getMIDIValuesForElement(n.id);
    const midi = typeof values === "string" ? JSON.parse(values) : values;
    n.sounding = midi.pitch;
  }
  for (const entry of tk.renderToTimemap()) {
    for (const id of entry.on || []) if (notes.has(id)) notes.get(id).on = entry.qstamp;
    for (const id of entry.off || []) if (notes.has(id)) notes.get(id).off = entry.qstamp;
  }
  const sounding = [];
  for (const note of notes.values()) {
    if (note.tiedFrom) continue;
    let last = note;
    while (last.tiedTo) last = notes.get(last.tiedTo);
    sounding.push({...note, duration: last.off - note.on});
  }
  sounding.sort((a, b) => a.on - b.on || a.sounding - b.sounding);
  console.log('notes ' + sounding.length);
  for (const n of sounding)
    console.log([n.sounding, n.read, n.step.toUpperCase(), n.octave, n.on, n.duration, n.written || '-'].join(' '));
};
