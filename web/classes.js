// SPDX-License-Identifier: MIT
// The engine's colour classes as editor ranges: {from, to, cls} with cls the class's CSS name
// (null for plain white space). The engine gives [start, length, class] in UTF-16 positions.
export const kClassNames = [null, 'note', 'length', 'octave', 'setting', 'sound', 'loop', 'tuplet', 'macro', 'slur', 'comment', 'unknown'];

export function classRuns(engine, text) {
  return engine.classes(text).map(([start, length, cls]) => ({ from: start, to: start + length, cls: kClassNames[cls] ?? null }));
}
