// The engine's colour classes as editor ranges: {from, to, cls} with cls the class's CSS name
// (null for plain white space).
export const kClassNames = [null, 'note', 'length', 'octave', 'setting', 'sound', 'loop', 'tuplet', 'macro', 'slur', 'comment', 'unknown'];

export function classRuns(engine, text) {
  return engine.classes(text).map((r) => {
    const cls = typeof r.cls === 'number' ? kClassNames[r.cls] : r.cls === 'plain' ? null : r.cls;
    return { from: r.begin, to: r.begin + r.length, cls };
  });
}
