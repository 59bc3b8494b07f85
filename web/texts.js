// SPDX-License-Identifier: MIT
// The page's texts: Japanese as the window shows them, English from the window's translations.
const ja = {
  common: '共通', internal: '内部',
  play: 'Play(F5)', fromCursor: 'Start from current cursor', stop: 'Stop(F6)', loop: 'Loop',
  open: 'Open', save: 'Save', exportWav: 'Wav出力', share: '共有リンク',
  importMidi: 'MIDI読み込み…', exportMidi: 'MIDI出力', pause: 'Pause', loopPassage: '選択範囲をループ再生', currentBank: 'Current Bank Play',
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
  exportTitle: '書き出し', exportType: 'ファイル形式', exportLoops: 'ループ回数', exportFade: 'フェードアウト (秒)',
  exportPerBank: 'バンク別に書き出す',
  exportPerBankTip: '鳴っているバンクごとに1ファイル (名前_A.wav など)。どれも曲全体の長さで、足し合わせると全体の書き出しと同じになります',
  exportMuted: 'ミュート中のバンク {banks} は書き出されません', ok: 'OK', cancel: 'キャンセル',
  about: 'Tavolinについて', licence: 'MIT ライセンスのもとで配布されています。',
  licenceText: 'ライセンス', notices: 'サードパーティーの告知', close: '閉じる',
  scopes: 'バンク別: ミュート・ソロ、波形とレベル', scopesTip: '各バンクの波形 (直近20ミリ秒) とピークメーター',
  devLate: '間に合わなかったクォンタム', devWorst: '最も遅いクォンタム', devQuanta: '再生したクォンタム', devStarved: 'レンダリングが実行されず間に合わなかったかもしれないクォンタム',
  devRing: '受け渡し', devShared: '共有メモリのリング', devChunks: 'メッセージのチャンク',
  devOpen: '直近の曲の準備', devSwap: '直近の差し替え', devHeard: '直近の打鍵から聞こえるまで', devMean: 'クォンタムの平均',
  devCoarse: '時計は1ミリ秒刻み。1ミリ秒を確実に超えたもの {over}',
};
const en = {
  common: 'Common', internal: 'Internal',
  play: 'Play(F5)', fromCursor: 'Start from current cursor', stop: 'Stop(F6)', loop: 'Loop',
  open: 'Open', save: 'Save', exportWav: 'Export WAV', share: 'Share link',
  importMidi: 'Import MIDI…', exportMidi: 'Export MIDI', pause: 'Pause', loopPassage: 'Loop the selection', currentBank: 'Current Bank Play',
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
  exportTitle: 'Export', exportType: 'File type', exportLoops: 'Loop count', exportFade: 'Fade-out (seconds)',
  exportPerBank: 'One file per bank',
  exportPerBankTip: 'One file for each bank that sounds (name_A.wav and so on). Each is as long as the whole song, and together they add up to the full export',
  exportMuted: 'Muted banks {banks} are left out of the export', ok: 'OK', cancel: 'Cancel',
  about: 'About Tavolin', licence: 'Distributed under the MIT License.',
  licenceText: 'Licence', notices: 'Third-party notices', close: 'Close',
  scopes: 'Banks: mute, solo, waveforms and levels', scopesTip: "Each bank's waveform (the last 20 ms) and peak meter",
  devLate: 'Late quanta', devWorst: 'Slowest quantum', devQuanta: 'Quanta played', devStarved: 'Quanta possibly missed while the render worker was not run',
  devRing: 'Hand-over', devShared: 'shared-memory ring', devChunks: 'message chunks',
  devOpen: 'Last song build', devSwap: 'Last swap', devHeard: 'Last keystroke to heard', devMean: 'Mean quantum',
  devCoarse: 'the clock ticks in whole ms; quanta surely over 1 ms: {over}',
};

export const lang = /^ja\b/i.test(globalThis.navigator?.language ?? '') ? 'ja' : 'en';
const table = lang === 'ja' ? ja : en;

// The text for `key` with every {name} replaced from `values`.
export function text(key, values = {}) {
  return (table[key] ?? key).replace(/\{(\w+)\}/g, (m, name) => (name in values ? String(values[name]) : m));
}

export const tabNames = () => [text('common'), 'A', 'B', 'C', 'D', 'E'];
