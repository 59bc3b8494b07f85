// SPDX-License-Identifier: MIT
// The page's texts: Japanese as the window shows them, English from the window's translations.
const ja = {
  common: '共通', internal: '内部',
  play: 'Play(F5)', fromCursor: 'Start from current cursor', stop: 'Stop(F6)', loop: 'Loop',
  open: 'Open', save: 'Save', exportWav: 'Wav出力', share: '共有リンク',
  importMidi: 'MIDI読み込み…', exportMidi: 'MIDI出力', pause: 'Pause', currentBank: 'Current Bank Play',
  midiRefused: '「{file}」をMIDIファイルとして読めませんでした: {reason}',
  mute: 'バンク{bank}をミュート (鳴らし続けたまま音だけ外す)',
  solo: 'バンク{bank}をソロ (ソロのバンクだけを聞く)',
  loading: 'エンジンを読み込んでいます…',
  ready: '',
  tooLarge: '「{file}」は大きすぎるため開けません（{size} MB。開けるのは {limit} MB までです）。',
  damaged: '「{file}」はドキュメントとして読めないため、開きませんでした（ファイルは変更していません）。',
  badLink: '共有リンクが壊れているため、曲を開けませんでした（編集中の内容はそのままです）。',
  linkCopied: '共有リンクをコピーしました（曲はリンクの中にだけあり、サーバーには送られません）。',
  linkMade: '共有リンクをアドレス欄に置きました（曲はリンクの中にだけあり、サーバーには送られません）。',
  notEncodable: 'この文字はCP932で表せないため入力できません: ',
  linkOpened: '共有リンクの曲を開きました。Play で再生します。',
  audioFailed: 'Wav出力デバイスのオープンに失敗しました',
  discard: 'ファイルが変更されています。破棄して開きますか？',
  written: '書き出しました\n{file}',
  about: 'Tavolinについて', licence: 'MIT ライセンスのもとで配布されています。',
  licenceText: 'ライセンス', notices: 'サードパーティーの告知', close: '閉じる',
  file: 'File', loopShort: 'ループ再生',
  loopPassageTip: '選択範囲をループ再生: 選択範囲（またはピアノロールの目盛りをドラッグした範囲）を繰り返し再生します (Ctrl+L)',
  pianoRoll: 'ピアノロール', rollTip: 'クリック: 音符のMMLを選択\nCtrl+ホイール: 拡大・縮小\nホイール: スクロール\nダブルクリック: 曲全体を表示',
  rollStale: 'コンパイルエラー中: 前回の結果を表示', noNotes: '音符がありません',
  toneHelper: '音色定義サポート', envelopeHelper: 'エンベロープサポート',
  wave: '波形', duty: 'Duty比', add: 'Add', del: 'Del', freqNoise: '周波数ノイズ\n変動範囲(%)', levelNoise: 'レベルノイズ(%)',
  switchMs: 'Duty比\n切り替えタイミング(ms)', toneNumber: '音色番号', insertCommand: 'コマンド挿入', testLabel: 'テスト', test: 'Test',
  time: 'タイム', level: 'レベル', number: '番号', template: 'template', attack: 'Atack', decay: 'Decay', release: 'Release', sustain: 'Sustain',
};
const en = {
  common: 'Common', internal: 'Internal',
  play: 'Play(F5)', fromCursor: 'Start from current cursor', stop: 'Stop(F6)', loop: 'Loop',
  open: 'Open', save: 'Save', exportWav: 'Export WAV', share: 'Share link',
  importMidi: 'Import MIDI…', exportMidi: 'Export MIDI', pause: 'Pause', currentBank: 'Current Bank Play',
  midiRefused: '"{file}" could not be read as a MIDI file: {reason}',
  mute: 'Mute bank {bank} (it keeps running; only its sound is left out)',
  solo: 'Solo bank {bank} (hear only the soloed banks)',
  loading: 'Loading the engine…',
  ready: '',
  tooLarge: '"{file}" is too large to open ({size} MB; documents of up to {limit} MB open).',
  damaged: '"{file}" cannot be read as a document, so it was not opened (the file is unchanged).',
  badLink: 'The share link is damaged, so the song could not be opened (your text is unchanged).',
  linkCopied: 'Share link copied (the song travels inside the link only; nothing is sent to a server).',
  linkMade: 'Share link placed in the address bar (the song travels inside the link only; nothing is sent to a server).',
  notEncodable: 'This character cannot be typed because CP932 cannot hold it: ',
  linkOpened: 'Opened the song of the share link. Press Play to hear it.',
  audioFailed: 'Could not open the sound output device',
  discard: 'The file has been changed. Discard the changes and open another?',
  written: 'Written\n{file}',
  about: 'About Tavolin', licence: 'Distributed under the MIT License.',
  licenceText: 'Licence', notices: 'Third-party notices', close: 'Close',
  file: 'File', loopShort: 'Loop selection',
  loopPassageTip: "Loop the selection: plays the selection (or the stretch dragged across the piano roll's ruler) over and over (Ctrl+L)",
  pianoRoll: 'Piano roll', rollTip: 'Click: select the note\'s MML\nCtrl+wheel: zoom in and out\nWheel: scroll\nDouble-click: show the whole song',
  rollStale: 'Compile error: showing the last result', noNotes: 'No notes',
  toneHelper: 'Tone definition', envelopeHelper: 'Envelope',
  wave: 'Wave', duty: 'Duty ratio', add: 'Add', del: 'Del', freqNoise: 'Frequency noise\nrange (%)', levelNoise: 'Level noise (%)',
  switchMs: 'Duty ratio\nswitching period (ms)', toneNumber: 'Tone number', insertCommand: 'Insert command', testLabel: 'Test phrase', test: 'Test',
  time: 'Time', level: 'Level', number: 'Number', template: 'template', attack: 'Attack', decay: 'Decay', release: 'Release', sustain: 'Sustain',
};

export const lang = /^ja\b/i.test(globalThis.navigator?.language ?? '') ? 'ja' : 'en';
const table = lang === 'ja' ? ja : en;

// The text for `key` with every {name} replaced from `values`.
export function text(key, values = {}) {
  return (table[key] ?? key).replace(/\{(\w+)\}/g, (m, name) => (name in values ? String(values[name]) : m));
}

export const tabNames = () => [text('common'), 'A', 'B', 'C', 'D', 'E'];
