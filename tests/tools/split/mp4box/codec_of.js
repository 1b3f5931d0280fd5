// Reads a fragmented MP4 (the files given, in order, as one byte stream: an
// init segment and media segments) with mp4box.js and prints
// "CODEC SAMPLES": the sample entry's codec string and the number of samples
// in the movie fragments. Exits 1 when mp4box.js reports an error.
'use strict';
const fs = require('fs');
const path = require('path');
const MP4Box = require(path.join(__dirname, 'node_modules', 'mp4box'));

const file = MP4Box.createFile();
let info = null;
let samples = 0;
file.onError = (e) => {
  console.error('mp4box.js: ' + e);
  process.exit(1);
};
file.onReady = (i) => {
  info = i;
  file.setExtractionOptions(i.tracks[0].id, null, { nbSamples: 1000 });
  file.start();
};
file.onSamples = (id, user, list) => {
  samples += list.length;
};
let offset = 0;
for (const name of process.argv.slice(2)) {
  const data = fs.readFileSync(name);
  const buffer = data.buffer.slice(data.byteOffset, data.byteOffset + data.byteLength);
  buffer.fileStart = offset;
  offset += data.byteLength;
  file.appendBuffer(buffer);
}
file.flush();
if (!info || info.tracks.length !== 1) {
  console.error('mp4box.js: no single track');
  process.exit(1);
}
console.log(info.tracks[0].codec + ' ' + samples);
