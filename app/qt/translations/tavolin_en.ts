<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ja">
<context>
    <name>Texts</name>
    <message>
        <source>文字を大きく</source>
        <translation>Zoom in</translation>
    </message>
    <message>
        <source>文字を小さく</source>
        <translation>Zoom out</translation>
    </message>
    <message>
        <source>文字を標準の大きさに</source>
        <translation>Reset zoom</translation>
    </message>
    <message>
        <source>カーソル位置を読み上げ</source>
        <translation>Speak the caret's place</translation>
    </message>
    <message>
        <source>再生位置を読み上げ</source>
        <translation>Speak the playing position</translation>
    </message>
    <message>
        <source>キー・テーマ・拡大</source>
        <translation>Keys, themes and zoom</translation>
    </message>
    <message>
        <source>再生</source>
        <translation>Play</translation>
    </message>
    <message>
        <source>停止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>新規作成</source>
        <translation>New</translation>
    </message>
    <message>
        <source>開く</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>保存</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>名前を付けて保存</source>
        <translation>Save As</translation>
    </message>
    <message>
        <source>Wav出力</source>
        <translation>Export WAV</translation>
    </message>
    <message>
        <source>終了</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>元に戻す</source>
        <translation>Undo</translation>
    </message>
    <message>
        <source>やり直し</source>
        <translation>Redo</translation>
    </message>
    <message>
        <source>切り取り</source>
        <translation>Cut</translation>
    </message>
    <message>
        <source>コピー</source>
        <translation>Copy</translation>
    </message>
    <message>
        <source>貼り付け</source>
        <translation>Paste</translation>
    </message>
    <message>
        <source>すべて選択</source>
        <translation>Select All</translation>
    </message>
    <message>
        <source>検索</source>
        <translation>Find</translation>
    </message>
    <message>
        <source>次を検索</source>
        <translation>Find Next</translation>
    </message>
    <message>
        <source>前を検索</source>
        <translation>Find Previous</translation>
    </message>
    <message>
        <source>MMLリファレンス</source>
        <translation>MML reference</translation>
    </message>
    <message>
        <source>{keys} は「{command}」が使っています。先にそちらのキーを変えてください。</source>
        <translation>{keys} is taken by “{command}”. Change that command's key first.</translation>
    </message>
    <message>
        <source>はじめの一歩</source>
        <translation>First steps</translation>
    </message>
    <message>
        <source>聴く</source>
        <translation>Listen</translation>
    </message>
    <message>
        <source>「Play(F5)」か F5 キーで曲を再生し、「Stop(F6)」か F6 で止めます。</source>
        <translation>“Play(F5)” or the F5 key plays the song; “Stop(F6)” or F6 stops it.</translation>
    </message>
    <message>
        <source>再生したまま直す</source>
        <translation>Change it while it plays</translation>
    </message>
    <message>
        <source>再生中に音符を1つ書き換えてみましょう（C を E にするなど）。同じ場所から、すぐに新しい曲が聞こえます。</source>
        <translation>Change a note while the song plays (a C to an E, say): you hear the new song at once, from the same place.</translation>
    </message>
    <message>
        <source>一部分をループ再生</source>
        <translation>Loop a passage</translation>
    </message>
    <message>
        <source>何小節かを選んで Ctrl+L を押すと、その部分だけを繰り返し再生します。</source>
        <translation>Select a few bars and press Ctrl+L: that passage plays over and over.</translation>
    </message>
    <message>
        <source>音色を変える</source>
        <translation>Change the tone</translation>
    </message>
    <message>
        <source>@1 などの音色の番号を書き換えるか、「音色定義サポート」で音色を作ってみましょう。</source>
        <translation>Change a tone number such as @1, or build a tone of your own with “Tone definition”.</translation>
    </message>
    <message>
        <source>書き出す</source>
        <translation>Export</translation>
    </message>
    <message>
        <source>「Wav出力」で WAV、FLAC、Ogg、Opus のファイルに書き出せます。</source>
        <translation>“Export WAV” writes the song as a WAV, FLAC, Ogg or Opus file.</translation>
    </message>
    <message>
        <source>コマンドの一覧は「MMLリファレンス」に、例は「サンプル曲」にあります。</source>
        <translation>Every command is in the “MML reference”, and songs to learn from are under “Examples”.</translation>
    </message>
    <message>
        <source>例: {example}</source>
        <translation>Example: {example}</translation>
    </message>
    <message>
        <source>デモ曲</source>
        <translation>Demo song</translation>
    </message>
    <message>
        <source>5つのバンクの曲: デューティ切り替えのリード、ビブラート、ベース、パッド、マクロで組んだドラム</source>
        <translation>A song in five banks: a lead switching duties, vibrato, bass, pad, drums built from macros</translation>
    </message>
    <message>
        <source>音色めぐり</source>
        <translation>Tone tour</translation>
    </message>
    <message>
        <source>音色ごとに音階を1つ: 矩形波、三角波、のこぎり波、正弦波、ノイズとエンベロープ</source>
        <translation>One scale per tone: square, triangle, sawtooth, sine, noise, with envelopes</translation>
    </message>
    <message>
        <source>LFOとポルタメント</source>
        <translation>LFOs and portamento</translation>
    </message>
    <message>
        <source>ゆっくりと速いポルタメント、ビブラート、トレモロ、% で書く時刻</source>
        <translation>Slow and fast portamento, vibrato, tremolo, times written in %</translation>
    </message>
    <message>
        <source>ノイズのドラム</source>
        <translation>Noise drums</translation>
    </message>
    <message>
        <source>ノイズの音色で組んだドラムセットの短いパターンとフィル</source>
        <translation>A drum kit from noise tones: a short pattern and a fill</translation>
    </message>
    <message>
        <source>カノン</source>
        <translation>Canon</translation>
    </message>
    <message>
        <source>1つのマクロを3つの声部でずらして演奏する輪唱</source>
        <translation>A round: one macro played by three voices, each entering later</translation>
    </message>
    <message>
        <source>サンプル曲</source>
        <translation>Examples</translation>
    </message>
    <message>
        <source>サンプル曲「{file}」が見つかりませんでした。
探した場所: {places}</source>
        <translation>The example &quot;{file}&quot; was not found.
Looked in: {places}</translation>
    </message>
    <message>
        <source>音符と休符</source>
        <translation>Notes and rests</translation>
    </message>
    <message>
        <source>オクターブと長さ</source>
        <translation>Octaves and lengths</translation>
    </message>
    <message>
        <source>テンポ・音量・パン</source>
        <translation>Tempo, volume and pan</translation>
    </message>
    <message>
        <source>音色とエンベロープ</source>
        <translation>Tones and envelopes</translation>
    </message>
    <message>
        <source>スラーとポルタメント</source>
        <translation>Slurs and portamento</translation>
    </message>
    <message>
        <source>LFO（ビブラートとトレモロ）</source>
        <translation>LFOs (vibrato and tremolo)</translation>
    </message>
    <message>
        <source>ループ</source>
        <translation>Loops</translation>
    </message>
    <message>
        <source>連符</source>
        <translation>Tuplets</translation>
    </message>
    <message>
        <source>マクロ</source>
        <translation>Macros</translation>
    </message>
    <message>
        <source>コメント</source>
        <translation>Comments</translation>
    </message>
    <message>
        <source>今のオクターブの音符: # か + で半音上げ、- で半音下げ、数字で長さ（4 で4分音符）、. で付点</source>
        <translation>A note of the current octave: # or + a semitone up, - a semitone down, a number for its length (4 a quarter note), . for a dot</translation>
    </message>
    <message>
        <source>番号で音符: n = オクターブ × 12 + 半音（N57 が 440 Hz の A4）</source>
        <translation>A note by number: n = octave × 12 + semitone (N57 is A4, 440 Hz)</translation>
    </message>
    <message>
        <source>周波数 f Hz の音（小数も書ける）</source>
        <translation>A note of f Hz (decimals allowed)</translation>
    </message>
    <message>
        <source>オクターブを n にする（最初は 4）</source>
        <translation>Sets the octave to n (4 at the start)</translation>
    </message>
    <message>
        <source>オクターブを1つ下げる（&lt;）、上げる（&gt;）</source>
        <translation>One octave down (&lt;) or up (&gt;)</translation>
    </message>
    <message>
        <source>長さを省いた音符の長さ（最初は L4）</source>
        <translation>The length of notes written without one (L4 at the start)</translation>
    </message>
    <message>
        <source>テンポ: 1分間に4分音符 n 個（最初は 120）</source>
        <translation>Tempo: n quarter notes a minute (120 at the start)</translation>
    </message>
    <message>
        <source>音量 0〜255（最初は 128）</source>
        <translation>Volume 0 to 255 (128 at the start)</translation>
    </message>
    <message>
        <source>パン: 0 で左、128 で中央、256 で右</source>
        <translation>Pan: 0 left, 128 centre, 256 right</translation>
    </message>
    <message>
        <source>音色 n（0〜31）を選ぶ: 0 矩形波、1 三角波、2 のこぎり波、3 正弦波、4 ノイズ</source>
        <translation>Chooses tone n (0 to 31): 0 square, 1 triangle, 2 sawtooth, 3 sine, 4 noise</translation>
    </message>
    <message>
        <source>音色 t を定義: 波形 w（0 矩形、1 三角、2 のこぎり、3 正弦、4 ノイズ）、周波数ゆらぎ R %、音量ゆらぎ N %、デューティ切り替え C ms、デューティ比 %</source>
        <translation>Defines tone t: wave w (0 square, 1 triangle, 2 sawtooth, 3 sine, 4 noise), frequency noise R %, level noise N %, duty switching C ms, duties in %</translation>
    </message>
    <message>
        <source>エンベロープ n（0〜255）を選ぶ</source>
        <translation>Chooses envelope n (0 to 255)</translation>
    </message>
    <message>
        <source>エンベロープ e を定義: アタック a ms、ディケイ d ms、リリース r ms、アタックレベル al、サステインレベル sl（0〜255）</source>
        <translation>Defines envelope e: attack a ms, decay d ms, release r ms, attack level al, sustain level sl (0 to 255)</translation>
    </message>
    <message>
        <source>スラー: 音を切らずに次の音符へつなぐ（同じ高さならタイ）</source>
        <translation>Slur: goes on to the next note without a new attack (a tie on the same pitch)</translation>
    </message>
    <message>
        <source>ポルタメント: スラーの音符の最後の 1/n で次の音へ移る（最初は 4）</source>
        <translation>Portamento: a slurred note glides to the next during its last 1/n (4 at the start)</translation>
    </message>
    <message>
        <source>ピッチ LFO（ビブラート）: 時刻 t ms、周期 p ms、深さ d セント、点は6つまで</source>
        <translation>Pitch LFO (vibrato): time t ms, period p ms, depth d cents, up to six points</translation>
    </message>
    <message>
        <source>音量 LFO（トレモロ）: 深さ d は最大音量に対する %</source>
        <translation>Volume LFO (tremolo): depth d in % of full scale</translation>
    </message>
    <message>
        <source>ピッチ LFO、時刻は音符のまとまりの長さに対する %</source>
        <translation>Pitch LFO with times in % of the note group's length</translation>
    </message>
    <message>
        <source>音量 LFO、時刻は音符のまとまりの長さに対する %</source>
        <translation>Volume LFO with times in % of the note group's length</translation>
    </message>
    <message>
        <source>囲んだ部分を n 回演奏する（n がなければ終わりなく繰り返す）</source>
        <translation>Plays the part between n times (without n, for ever)</translation>
    </message>
    <message>
        <source>囲んだ音符で既定の長さ1つを等分する（連符）</source>
        <translation>The notes between share one default length equally (a tuplet)</translation>
    </message>
    <message>
        <source>マクロ X（A〜Z）を記録する（次の ! まで、演奏はしない）</source>
        <translation>Records macro X (A to Z) up to the next ! without playing it</translation>
    </message>
    <message>
        <source>マクロ X を演奏する</source>
        <translation>Plays macro X</translation>
    </message>
    <message>
        <source>コメント: * から次の * まで（日本語も書ける）</source>
        <translation>A comment from * to the next * (Japanese allowed)</translation>
    </message>
    <message>
        <source>小節の残りを休符で埋める</source>
        <translation>Fill the rest of the bar with rests</translation>
    </message>
    <message>
        <source>タイで二つに分ける</source>
        <translation>Split into two tied notes</translation>
    </message>
    <message>
        <source>タイでつないだ音符をまとめる</source>
        <translation>Join the tied notes</translation>
    </message>
    <message>
        <source>半音上げる</source>
        <translation>Transpose up a semitone</translation>
    </message>
    <message>
        <source>半音下げる</source>
        <translation>Transpose down a semitone</translation>
    </message>
    <message>
        <source>1オクターブ上げる</source>
        <translation>Transpose up an octave</translation>
    </message>
    <message>
        <source>1オクターブ下げる</source>
        <translation>Transpose down an octave</translation>
    </message>
    <message>
        <source>矩形波</source>
        <translation>square</translation>
    </message>
    <message>
        <source>三角波</source>
        <translation>triangle</translation>
    </message>
    <message>
        <source>のこぎり波</source>
        <translation>sawtooth</translation>
    </message>
    <message>
        <source>正弦波</source>
        <translation>sine</translation>
    </message>
    <message>
        <source>ノイズ</source>
        <translation>noise</translation>
    </message>
    <message>
        <source>テンポ {n}（1分間に4分音符 {n} 個）</source>
        <translation>Tempo {n} ({n} quarter notes a minute)</translation>
    </message>
    <message>
        <source>音量 {n}（0〜255）</source>
        <translation>Volume {n} (0 to 255)</translation>
    </message>
    <message>
        <source>パン {n}（0 左、128 中央、256 右）</source>
        <translation>Pan {n} (0 left, 128 centre, 256 right)</translation>
    </message>
    <message>
        <source>オクターブ {n}</source>
        <translation>Octave {n}</translation>
    </message>
    <message>
        <source>オクターブを1つ下げる</source>
        <translation>One octave down</translation>
    </message>
    <message>
        <source>オクターブを1つ上げる</source>
        <translation>One octave up</translation>
    </message>
    <message>
        <source>長さを省いた音符の長さ: 全音符の {units}/256</source>
        <translation>Length of notes written without one: {units}/256 of a whole note</translation>
    </message>
    <message>
        <source>ループの始まり</source>
        <translation>Start of a loop</translation>
    </message>
    <message>
        <source>ループの最後の回はここで抜ける</source>
        <translation>On the loop&apos;s last pass, it ends here</translation>
    </message>
    <message>
        <source>ループの終わり: 終わりなく繰り返す（書き出しでは1回）</source>
        <translation>End of a loop: repeats without end (once in an export)</translation>
    </message>
    <message>
        <source>ループの終わり: {n} 回演奏する</source>
        <translation>End of a loop: played {n} times</translation>
    </message>
    <message>
        <source>連符の始まり: } までの音符で既定の長さ1つを等分する</source>
        <translation>Start of a tuplet: the notes up to } share one default length equally</translation>
    </message>
    <message>
        <source>連符の終わり</source>
        <translation>End of a tuplet</translation>
    </message>
    <message>
        <source>スラー: 前の音符を切らずに次の音符へつなぐ</source>
        <translation>Slur: the note before runs into the next one without a new attack</translation>
    </message>
    <message>
        <source>音色 {n} を選ぶ</source>
        <translation>Selects tone {n}</translation>
    </message>
    <message>
        <source>ポルタメント: スラーの音符の最後の 1/{n} で次の音へ移る</source>
        <translation>Portamento: a slurred note glides to the next one in its last 1/{n}</translation>
    </message>
    <message>
        <source>エンベロープ {e} を定義: {a} ms でレベル {al} へ、{d} ms でレベル {sl} へ、離して {r} ms で消える</source>
        <translation>Defines envelope {e}: to level {al} in {a} ms, to level {sl} in {d} ms, released over {r} ms</translation>
    </message>
    <message>
        <source>エンベロープ {n} を選ぶ</source>
        <translation>Selects envelope {n}</translation>
    </message>
    <message>
        <source>音色 {t} を定義: {wave}、デューティ比 {duties} %</source>
        <translation>Defines tone {t}: {wave}, duty {duties} %</translation>
    </message>
    <message>
        <source>R 周波数ゆらぎ %、N 音量ゆらぎ %、C デューティ切り替え ms: {options}</source>
        <translation>R frequency noise %, N level noise %, C duty switching ms: {options}</translation>
    </message>
    <message>
        <source>ピッチ LFO を定義（{n} 点）</source>
        <translation>Defines the pitch LFO ({n} points)</translation>
    </message>
    <message>
        <source>音量 LFO を定義（{n} 点）</source>
        <translation>Defines the amplitude LFO ({n} points)</translation>
    </message>
    <message>
        <source>時刻は音符の長さに対する %</source>
        <translation>Times in percent of the note&apos;s length</translation>
    </message>
    <message>
        <source>マクロ {x} の記録を始める（次の ! まで）</source>
        <translation>Starts recording macro {x} (up to the next !)</translation>
    </message>
    <message>
        <source>マクロ {x} を演奏する</source>
        <translation>Plays macro {x}</translation>
    </message>
    <message>
        <source>マクロの記録を終える</source>
        <translation>Ends the macro recording</translation>
    </message>
    <message>
        <source>休符</source>
        <translation>Rest</translation>
    </message>
    <message>
        <source>{time} に鳴ります</source>
        <translation>Sounds at {time}</translation>
    </message>
    <message>
        <source>{time} に鳴ります（{passes} 回のうち 1 回目）</source>
        <translation>Sounds at {time} (the first of {passes} passes)</translation>
    </message>
    <message>
        <source>長さ {frames} フレーム、全音符の {units}/256</source>
        <translation>Length {frames} frames, {units}/256 of a whole note</translation>
    </message>
    <message>
        <source>バンク {bank}</source>
        <translation>Bank {bank}</translation>
    </message>
    <message>
        <source>不明なコマンド</source>
        <translation>Unknown command</translation>
    </message>
    <message>
        <source>スラーのあとに続けれるコマンドではない</source>
        <translation>This command cannot follow a slur</translation>
    </message>
    <message>
        <source>値が不正</source>
        <translation>Invalid value</translation>
    </message>
    <message>
        <source>テンポの値が不正</source>
        <translation>Invalid tempo value</translation>
    </message>
    <message>
        <source>長さの指定が不正</source>
        <translation>Invalid length</translation>
    </message>
    <message>
        <source>エンベロープコマンドの書式が間違っている</source>
        <translation>Malformed envelope command</translation>
    </message>
    <message>
        <source>パラメータの値が範囲外</source>
        <translation>Parameter value out of range</translation>
    </message>
    <message>
        <source>スラーが繋がってないまま終わってる</source>
        <translation>The text ends inside an unfinished slur</translation>
    </message>
    <message>
        <source>音程が低すぎる</source>
        <translation>Pitch too low</translation>
    </message>
    <message>
        <source>音程が高すぎる</source>
        <translation>Pitch too high</translation>
    </message>
    <message>
        <source>音色番号が範囲外</source>
        <translation>Tone number out of range</translation>
    </message>
    <message>
        <source>使えない音色番号</source>
        <translation>Tone number not allowed</translation>
    </message>
    <message>
        <source>使えない波形種別</source>
        <translation>Wave type not allowed</translation>
    </message>
    <message>
        <source>周波数変動範囲外</source>
        <translation>Frequency noise out of range</translation>
    </message>
    <message>
        <source>レベルノイズランダム範囲外</source>
        <translation>Level noise out of range</translation>
    </message>
    <message>
        <source>Duty切り替えタイミング範囲外</source>
        <translation>Duty switching time out of range</translation>
    </message>
    <message>
        <source>Duty比範囲外</source>
        <translation>Duty ratio out of range</translation>
    </message>
    <message>
        <source>デューティー比指定がない</source>
        <translation>No duty ratio given</translation>
    </message>
    <message>
        <source>ーティー比指定が多すぎる</source>
        <translation>Too many duty ratios</translation>
    </message>
    <message>
        <source>パン値が範囲外</source>
        <translation>Pan value out of range</translation>
    </message>
    <message>
        <source>ボリューム値が範囲外</source>
        <translation>Volume value out of range</translation>
    </message>
    <message>
        <source>数値が入るところなのに数値じゃない</source>
        <translation>A number is expected here</translation>
    </message>
    <message>
        <source>連符中は単純な音符系とオクターブ変更のみ可能</source>
        <translation>Only notes, rests and octave changes are allowed inside a tuplet</translation>
    </message>
    <message>
        <source>連符個数が多すぎる</source>
        <translation>Too many notes in one tuplet</translation>
    </message>
    <message>
        <source>連符開始していないのに連符終了が来た</source>
        <translation>End of a tuplet that was never started</translation>
    </message>
    <message>
        <source>連符内に音符がない</source>
        <translation>No note inside the tuplet</translation>
    </message>
    <message>
        <source>連符内で連符を始めようとした</source>
        <translation>A tuplet cannot start inside a tuplet</translation>
    </message>
    <message>
        <source>連符内でループコマンドが出現した</source>
        <translation>Loop command inside a tuplet</translation>
    </message>
    <message>
        <source>ループ開始していないのにループ終了が来た</source>
        <translation>End of a loop that was never started</translation>
    </message>
    <message>
        <source>ループネスト数が限界を超えた</source>
        <translation>Too many nested loops</translation>
    </message>
    <message>
        <source>不正なループ回数指定</source>
        <translation>Invalid loop count</translation>
    </message>
    <message>
        <source>存在しないLFOタイプ</source>
        <translation>Unknown LFO type</translation>
    </message>
    <message>
        <source>LFOの書式が間違っている</source>
        <translation>Malformed LFO command</translation>
    </message>
    <message>
        <source>LFOの開始位置がその前の開始位置より大きくないといけない</source>
        <translation>Each LFO point must start after the one before it</translation>
    </message>
    <message>
        <source>連符の最中にマクロ記録を始めることはできません</source>
        <translation>A macro recording cannot start inside a tuplet</translation>
    </message>
    <message>
        <source>ループの最中にマクロ記録を始めることはできません</source>
        <translation>A macro recording cannot start inside a loop</translation>
    </message>
    <message>
        <source>マクロのの最中にマクロ記録を始めることはできません</source>
        <translation>A macro recording cannot start inside a macro recording</translation>
    </message>
    <message>
        <source>連符の最中にマクロ記録を終えることはできません</source>
        <translation>A macro recording cannot end inside a tuplet</translation>
    </message>
    <message>
        <source>ループの最中にマクロ記録を終えることはできません</source>
        <translation>A macro recording cannot end inside a loop</translation>
    </message>
    <message>
        <source>連符中にマクロを呼び出すことはできません</source>
        <translation>A macro cannot be called inside a tuplet</translation>
    </message>
    <message>
        <source>マクロの文字が不正です</source>
        <translation>Invalid macro letter</translation>
    </message>
    <message>
        <source>現在位置が無限ループよりあとにある</source>
        <translation>The start position lies after an endless loop</translation>
    </message>
    <message>
        <source>ループ内に音がなるコマンドがない</source>
        <translation>No sounding command inside the loop</translation>
    </message>
    <message>
        <source>曲のイベント数が多すぎる</source>
        <translation>The song has too many events</translation>
    </message>
    <message>
        <source>矩形</source>
        <translation>Square</translation>
    </message>
    <message>
        <source>三角</source>
        <translation>Triangle</translation>
    </message>
    <message>
        <source>のこぎり</source>
        <translation>Sawtooth</translation>
    </message>
    <message>
        <source>共通</source>
        <translation>Common</translation>
    </message>
    <message>
        <source>TavolinAppについて(&amp;A)...</source>
        <translation>&amp;About TavolinApp...</translation>
    </message>
    <message>
        <source>TavolinApp について</source>
        <translation>About TavolinApp</translation>
    </message>
    <message>
        <source>無題</source>
        <translation>Untitled</translation>
    </message>
    <message>
        <source>この文字はCP932で表せないため入力できません: </source>
        <translation>This character cannot be typed because CP932 cannot hold it: </translation>
    </message>
    <message>
        <source>テストフレーズにCP932で表せない文字があります</source>
        <translation>The test phrase holds characters CP932 cannot hold</translation>
    </message>
    <message>
        <source>MIDI出力</source>
        <translation>Export MIDI</translation>
    </message>
    <message>
        <source>ファイルが変更されています、保存しますか？</source>
        <translation>The file has been changed. Do you want to save it?</translation>
    </message>
    <message>
        <source>クリップボードにテキストがありません</source>
        <translation>There is no text on the clipboard</translation>
    </message>
    <message>
        <source>mmlファイル(*.mml)|*.mml|テキストファイル(*.txt)|*.txt||</source>
        <translation>MML files (*.mml)|*.mml|Text files (*.txt)|*.txt||</translation>
    </message>
    <message>
        <source>標準値</source>
        <translation>Standard</translation>
    </message>
    <message>
        <source>なし</source>
        <translation>None</translation>
    </message>
    <message>
        <source>めっちゃアタック</source>
        <translation>Strong attack</translation>
    </message>
    <message>
        <source>めっちゃ２</source>
        <translation>Strong attack 2</translation>
    </message>
    <message>
        <source>長いリリース</source>
        <translation>Long release</translation>
    </message>
    <message>
        <source>長いリリース2</source>
        <translation>Long release 2</translation>
    </message>
    <message>
        <source>長いリリース3</source>
        <translation>Long release 3</translation>
    </message>
    <message>
        <source>{what}の時間が不正です(0ms～)</source>
        <translation>Invalid {what} (0 ms or more)</translation>
    </message>
    <message>
        <source>{what}が不正です(0～255)</source>
        <translation>Invalid {what} (0 to 255)</translation>
    </message>
    <message>
        <source>番号</source>
        <translation>Number</translation>
    </message>
    <message>
        <source>書き出しました
{file}
長さ {time} ({frames} フレーム, {rate} Hz)</source>
        <translation>Written
{file}
Length {time} ({frames} frames, {rate} Hz)</translation>
    </message>
    <message>
        <source>MIDIファイルを書き出しました</source>
        <translation>MIDI file written</translation>
    </message>
    <message>
        <source>注意: </source>
        <translation>Note: </translation>
    </message>
    <message>
        <source>書き出し</source>
        <translation>Export</translation>
    </message>
    <message>
        <source>ファイル形式</source>
        <translation>File type</translation>
    </message>
    <message>
        <source>ループ回数</source>
        <translation>Loop count</translation>
    </message>
    <message>
        <source>フェードアウト (秒)</source>
        <translation>Fade-out (seconds)</translation>
    </message>
    <message>
        <source>内部</source>
        <translation>Internal</translation>
    </message>
    <message>
        <source>Duty比が未設定</source>
        <translation>No duty ratio set</translation>
    </message>
    <message>
        <source>ノイズ範囲が範囲外（0～100%）</source>
        <translation>Noise range out of range (0 to 100%)</translation>
    </message>
    <message>
        <source>「{file}」を開けませんでした。</source>
        <translation>Could not open &quot;{file}&quot;.</translation>
    </message>
    <message>
        <source>「{file}」に保存できませんでした。</source>
        <translation>Could not save to &quot;{file}&quot;.</translation>
    </message>
    <message>
        <source>「{file}」は大きすぎるため開けません（{size} MB。開けるのは {limit} MB までです）。</source>
        <translation>&quot;{file}&quot; is too large to open ({size} MB; documents of up to {limit} MB open).</translation>
    </message>
    <message>
        <source>「{file}」を作成できませんでした。</source>
        <translation>Could not create &quot;{file}&quot;.</translation>
    </message>
    <message>
        <source>「{file}」に書き込めませんでした。</source>
        <translation>Could not write &quot;{file}&quot;.</translation>
    </message>
    <message>
        <source>別の場所を選んで保存してください。</source>
        <translation>Please choose another place to save it.</translation>
    </message>
    <message>
        <source>ファイルまたはフォルダが見つかりません。</source>
        <translation>The file or folder was not found.</translation>
    </message>
    <message>
        <source>アクセス権がありません。</source>
        <translation>Permission denied.</translation>
    </message>
    <message>
        <source>この操作は許可されていません（変更できないファイルです）。</source>
        <translation>This operation is not permitted (the file cannot be changed).</translation>
    </message>
    <message>
        <source>読み取り専用のファイルシステムです。</source>
        <translation>The file system is read-only.</translation>
    </message>
    <message>
        <source>ディスクの空き容量が足りません。</source>
        <translation>The disk is full.</translation>
    </message>
    <message>
        <source>ファイルではありません（フォルダなど）。</source>
        <translation>This is not a file (a folder or the like).</translation>
    </message>
    <message>
        <source>システムエラーが発生しました（エラー番号 {code}）。</source>
        <translation>A system error occurred (error number {code}).</translation>
    </message>
    <message>
        <source>UTF-8 のファイルを変換して開きました。保存すると CP932 で書き込まれます。</source>
        <translation>Opened a UTF-8 file by converting it. Saving writes it in CP932.</translation>
    </message>
    <message>
        <source>「{file}」は UTF-8 で書かれていますが、CP932 で表せない文字があるため開きませんでした（ファイルは変更していません）:</source>
        <translation>&quot;{file}&quot; is written in UTF-8 but holds characters CP932 cannot hold, so it was not opened (the file is unchanged):</translation>
    </message>
    <message>
        <source>「{file}」はドキュメントとして読めないため、開きませんでした（ファイルは変更していません）。</source>
        <translation>&quot;{file}&quot; cannot be read as a document, so it was not opened (the file is unchanged).</translation>
    </message>
    <message>
        <source>「{file}」には、開いて保存すると失われる部分があります。</source>
        <translation>Part of &quot;{file}&quot; would be lost if it were opened and saved.</translation>
    </message>
    <message>
        <source>{offset} バイト目に NUL バイトがあります（全部で {count} 個）。バイナリファイルのようです。</source>
        <translation>There is a NUL byte at byte {offset} ({count} in all). It looks like a binary file.</translation>
    </message>
    <message>
        <source>CP932 の文字として読めないバイトが {offset} バイト目から {count} か所あります。</source>
        <translation>{count} byte sequence(s) cannot be read as CP932 characters, the first at byte {offset}.</translation>
    </message>
    <message>
        <source>{offset} バイト目の Ctrl+Z（0x1A）でテキストが終わり、その後の {count} バイトは読み込まれません。</source>
        <translation>The text ends at the Ctrl+Z (0x1A) at byte {offset}; the {count} bytes after it are not read.</translation>
    </message>
    <message>
        <source>ドキュメントの枠（SMML@…;MML@…;）の外にある {count} バイトは読み込まれません。</source>
        <translation>{count} bytes outside the document record (SMML@…;MML@…;) are not read.</translation>
    </message>
    <message>
        <source>このまま開きますか？（元のファイルは保存するまで変わりません）</source>
        <translation>Open it anyway? (The file itself stays as it is until you save.)</translation>
    </message>
    <message>
        <source>{line} 行目: {char}</source>
        <translation>line {line}: {char}</translation>
    </message>
    <message>
        <source>ほか {count} 行</source>
        <translation>and {count} more lines</translation>
    </message>
    <message>
        <source>ドキュメントの復元</source>
        <translation>Recover document</translation>
    </message>
    <message>
        <source>保存されないまま終了したドキュメントが見つかりました。

ファイル: {file}
自動保存: {time}

復元しますか？</source>
        <translation>A document was left unsaved when Tavolin last ended.

File: {file}
Autosaved: {time}

Do you want to recover it?</translation>
    </message>
    <message>
        <source>（ほかに {count} 件あります）</source>
        <translation>({count} more)</translation>
    </message>
    <message>
        <source>復元する</source>
        <translation>Recover</translation>
    </message>
    <message>
        <source>破棄する</source>
        <translation>Discard</translation>
    </message>
    <message>
        <source>後で</source>
        <translation>Later</translation>
    </message>
    <message>
        <source>自動保存できませんでした（{folder}）。</source>
        <translation>Could not autosave ({folder}).</translation>
    </message>
    <message>
        <source>最近使ったファイル(&amp;R)</source>
        <translation>&amp;Recent Files</translation>
    </message>
    <message>
        <source>（なし）</source>
        <translation>(none)</translation>
    </message>
    <message>
        <source>ファイルに書き出しています… {seconds} 秒</source>
        <translation>Writing the file… {seconds} s</translation>
    </message>
    <message>
        <source>クリップボードのテキストにCP932で表せない文字があるため、インポートできません: </source>
        <translation>The clipboard text holds a character CP932 cannot hold, so it cannot be imported: </translation>
    </message>
    <message>
        <source>曲が長すぎるためMIDIファイルに書き出せません</source>
        <translation>The song is too long to be written as a MIDI file</translation>
    </message>
    <message>
        <source>・</source>
        <translation>, </translation>
    </message>
    <message>
        <source>バンクごとのテンポ変化が異なるため、テンポマップはバンク{tempo}のものを使い、バンク{banks}の音符は秒単位の時刻から配置しました</source>
        <translation>The banks change tempo differently: the tempo map is bank {tempo}&apos;s, and the notes of bank {banks} were placed by their times in seconds</translation>
    </message>
    <message>
        <source>曲が長すぎるため途中までを書き出しました</source>
        <translation>The song is too long; only its beginning was written</translation>
    </message>
    <message>
        <source>Wav出力デバイスのオープンに失敗しました</source>
        <translation>Could not open the sound output device</translation>
    </message>
    <message>
        <source>再生スレッドを開始できませんでした</source>
        <translation>Could not start the playback thread</translation>
    </message>
    <message>
        <source>内部MMLコード </source>
        <translation>internal MML code, character </translation>
    </message>
    <message>
        <source>共通MMLコード </source>
        <translation>common MML code, character </translation>
    </message>
    <message>
        <source>バンク</source>
        <translation>bank </translation>
    </message>
    <message>
        <source>MMLコード </source>
        <translation>MML code, character </translation>
    </message>
    <message>
        <source> 文字目</source>
        <translation> </translation>
    </message>
    <message>
        <source> ({line}行 {column}列)</source>
        <translation>(line {line}, column {column})</translation>
    </message>
    <message>
        <source>テストフレーズ</source>
        <translation>test phrase</translation>
    </message>
    <message>
        <source>音色定義コマンド</source>
        <translation>tone definition command</translation>
    </message>
    <message>
        <source>Duty比が不正です(0～99)</source>
        <translation>Invalid duty ratio (0 to 99)</translation>
    </message>
    <message>
        <source>共通タブのみを再生することはできません</source>
        <translation>The common tab cannot be played on its own</translation>
    </message>
    <message>
        <source>サンプリングレートは8000から192000の間で指定してください</source>
        <translation>Choose a sample rate from 8000 to 192000</translation>
    </message>
    <message>
        <source>曲が長すぎるためWAVファイルに書き出せません</source>
        <translation>The song is too long to be written as a WAV file</translation>
    </message>
    <message>
        <source>曲が長すぎるためこの形式では書き出せません</source>
        <translation>The song is too long to be written in this format</translation>
    </message>
    <message>
        <source>ループ: ファイルのループ印を終わりのないループ [...] にしました</source>
        <translation>Loop: the file's loop marks became an endless loop [...]</translation>
    </message>
    <message>
        <source>ループ: 音符がループの境目をまたぐか後に続くため、ファイルのループ印をループにできませんでした</source>
        <translation>Loop: a note crosses the loop's start or end or follows it, so the file's loop marks did not become a loop</translation>
    </message>
    <message>
        <source>ループ情報を書き込む（ゲーム用）</source>
        <translation>Write loop points (for games)</translation>
    </message>
    <message>
        <source>前奏と1回分のループだけを書き出し、ゲームが読むループ位置を記録します（WAVはsmplチャンク、FLAC・Ogg・OpusはLOOPSTART/LOOPLENGTH）</source>
        <translation>Writes the intro and one pass of the loop, and records where it loops as games read it (a smpl chunk in WAV, LOOPSTART/LOOPLENGTH in FLAC, Ogg and Opus)</translation>
    </message>
    <message>
        <source>この曲には終わりのないループがないため、ループ情報を書き込めません</source>
        <translation>The song has no endless loop, so no loop points can be written</translation>
    </message>
    <message>
        <source>終わりのないループが「:」で抜けられるため、ループ情報を書き込めません</source>
        <translation>An endless loop is left at a break “:”, so no loop points can be written</translation>
    </message>
    <message>
        <source>全パートが揃って繰り返すまでが10分を超えるため、ループ情報を書き込めません</source>
        <translation>The banks repeat together only after more than 10 minutes, so no loop points can be written</translation>
    </message>
    <message>
        <source>Opusで書き出せるサンプリングレートは8000, 12000, 16000, 24000, 48000 Hzだけです</source>
        <translation>Opus files can only be written at 8000, 12000, 16000, 24000 or 48000 Hz</translation>
    </message>
    <message>
        <source>atack time</source>
        <translation>attack time</translation>
    </message>
    <message>
        <source>atack level</source>
        <translation>attack level</translation>
    </message>
    <message>
        <source>バンク別に書き出しました{files}
長さ {time} ({frames} フレーム, {rate} Hz)</source>
        <translation>Exported one file per bank{files}
Length {time} ({frames} frames, {rate} Hz)</translation>
    </message>
    <message>
        <source>再生開始位置が曲の先頭から1時間を超えるため、カーソル位置から再生できません</source>
        <translation>Cannot play from the cursor: it lies more than one hour into the song</translation>
    </message>
    <message>
        <source>カーソル位置より後に鳴る音がないため、カーソル位置から書き出せません</source>
        <translation>Cannot export from the cursor: nothing sounds after it</translation>
    </message>
    <message>
        <source>MIDI読み込み…</source>
        <translation>Import MIDI…</translation>
    </message>
    <message>
        <source>MIDIファイル(*.mid)|*.mid||</source>
        <translation>MIDI files (*.mid)|*.mid||</translation>
    </message>
    <message>
        <source>「{file}」を読み込めませんでした。
{reason}</source>
        <translation>Could not import &quot;{file}&quot;.
{reason}</translation>
    </message>
    <message>
        <source>MIDIファイルではありません（先頭にMThdがない）</source>
        <translation>not a MIDI file (no MThd at the start)</translation>
    </message>
    <message>
        <source>ヘッダーの長さが不正です</source>
        <translation>bad header length</translation>
    </message>
    <message>
        <source>チャンクがファイルの終わりを越えています（途中で切れたファイル）</source>
        <translation>a chunk runs past the end of the file (the file is cut short)</translation>
    </message>
    <message>
        <source>フォーマット2のMIDIファイルは読めません</source>
        <translation>format 2 MIDI files cannot be read</translation>
    </message>
    <message>
        <source>未知のフォーマット番号です</source>
        <translation>unknown format number</translation>
    </message>
    <message>
        <source>SMPTEタイムコードの分解能は読めません</source>
        <translation>SMPTE time code division cannot be read</translation>
    </message>
    <message>
        <source>四分音符あたりのティック数が0です</source>
        <translation>zero ticks per quarter note</translation>
    </message>
    <message>
        <source>ヘッダーが示す数のトラックがありません</source>
        <translation>fewer tracks than the header announces</translation>
    </message>
    <message>
        <source>可変長の数値が4バイトを超えています</source>
        <translation>a variable-length number longer than four bytes</translation>
    </message>
    <message>
        <source>ステータスのないデータバイトです</source>
        <translation>a data byte without a status</translation>
    </message>
    <message>
        <source>トラック内で使えないステータスバイトです</source>
        <translation>a status byte not allowed inside a track</translation>
    </message>
    <message>
        <source>データバイトが0x80以上です</source>
        <translation>a data byte of 0x80 or more</translation>
    </message>
    <message>
        <source>イベントがトラックの終わりを越えています</source>
        <translation>an event runs past the end of its track</translation>
    </message>
    <message>
        <source>{what}（バイトオフセット{offset}）</source>
        <translation>{what} (byte offset {offset})</translation>
    </message>
    <message>
        <source>曲が長すぎるため読み込めません（全音符4096個まで）</source>
        <translation>The song is too long to import (at most 4096 whole notes)</translation>
    </message>
    <message>
        <source>トラック{track} ライン{line}（ch{channel}{name}、音符{notes}）</source>
        <translation>track {track} line {line} (ch {channel}{name}, {notes} notes)</translation>
    </message>
    <message>
        <source>バンク{bank}: </source>
        <translation>Bank {bank}: </translation>
    </message>
    <message>
        <source>…ほか{lines}ライン（音符{notes}）</source>
        <translation>… and {lines} more lines ({notes} notes)</translation>
    </message>
    <message>
        <source>入らなかったライン:</source>
        <translation>Lines left out:</translation>
    </message>
    <message>
        <source>グリッド: 全音符の1/{grid}、最大のタイミング誤差: {ms} ms</source>
        <translation>Grid: 1/{grid} of a whole note, largest timing error: {ms} ms</translation>
    </message>
    <message>
        <source>テンポ変化: {count}</source>
        <translation>Tempo changes: {count}</translation>
    </message>
    <message>
        <source>捨てたイベント: ピッチベンド{bends}、コントローラー{controllers}、その他{other}</source>
        <translation>Dropped events: {bends} pitch bends, {controllers} controllers, {other} others</translation>
    </message>
    <message>
        <source>音域外のためオクターブを移した音符: {count}</source>
        <translation>Notes moved by octaves into range: {count}</translation>
    </message>
    <message>
        <source>次の音符に切られた音符: {count}</source>
        <translation>Notes cut by the next note: {count}</translation>
    </message>
    <message>
        <source>選択範囲をループ再生</source>
        <translation>Loop the selection</translation>
    </message>
    <message>
        <source>選択範囲に音符がないため、ループ再生できません</source>
        <translation>The selection holds no note, so there is nothing to loop</translation>
    </message>
    <message>
        <source>ループ再生中: {from} – {to}</source>
        <translation>Looping {from} – {to}</translation>
    </message>
    <message>
        <source>「{file}」が他のプログラムで変更されました。
このウィンドウには保存していない変更があります。どちらを残しますか？</source>
        <translation>&quot;{file}&quot; was changed by another program.
This window has changes that are not saved. Which do you want to keep?</translation>
    </message>
    <message>
        <source>このウィンドウの内容を残す</source>
        <translation>Keep this window&apos;s text</translation>
    </message>
    <message>
        <source>ファイルを読み込み直す</source>
        <translation>Reload the file</translation>
    </message>
    <message>
        <source>「{file}」が変更されたため読み込み直しました</source>
        <translation>&quot;{file}&quot; changed on disk and was reloaded</translation>
    </message>
    <message>
        <source>「{file}」が削除されました。内容はこのウィンドウに残っています（保存すると作り直します）</source>
        <translation>&quot;{file}&quot; was deleted. Its text is still in this window (saving writes it again)</translation>
    </message>
    <message>
        <source>TavolinApp、バージョン {version}</source>
        <translation>TavolinApp, version {version}</translation>
    </message>
    <message>
        <source>MIT ライセンスのもとで配布されています。</source>
        <translation>Distributed under the MIT License.</translation>
    </message>
    <message>
        <source>ウィンドウの使い方</source>
        <translation>Using the window</translation>
    </message>
    <message>
        <source>MMLの詳しい説明</source>
        <translation>MML in detail</translation>
    </message>
    <message>
        <source>コマンドライン (tavolin-cli)</source>
        <translation>Command line (tavolin-cli)</translation>
    </message>
    <message>
        <source>書き出しと読み込み</source>
        <translation>Export and import</translation>
    </message>
    <message>
        <source>MIDIファイルの読み込み</source>
        <translation>Importing MIDI files</translation>
    </message>
    <message>
        <source>パッセージ (ループ再生の範囲)</source>
        <translation>Passages (what a loop plays)</translation>
    </message>
    <message>
        <source>曲の地図 (音符のタイムライン)</source>
        <translation>The song map (timeline of the notes)</translation>
    </message>
    <message>
        <source>ほかのエディタで書く</source>
        <translation>Writing in other editors</translation>
    </message>
    <message>
        <source>ブラウザ版</source>
        <translation>The browser page</translation>
    </message>
    <message>
        <source>ビルドとインストール</source>
        <translation>Building and installing</translation>
    </message>
    <message>
        <source>表示言語と翻訳</source>
        <translation>Languages and translations</translation>
    </message>
    <message>
        <source>説明のページ「{file}」が見つかりませんでした。
探した場所: {places}</source>
        <translation>The help page &quot;{file}&quot; was not found.
Looked in: {places}</translation>
    </message>
    <message>
        <source>説明のページ「{file}」を開けませんでした。このファイルを開くプログラムがありません。</source>
        <translation>Could not open the help page &quot;{file}&quot;: no program opens this kind of file.</translation>
    </message>
    <message>
        <source>{tab}, 小節 {bar} 拍 {beat}, {note}</source>
        <translation>{tab}, bar {bar} beat {beat}, {note}</translation>
    </message>
    <message>
        <source>{tab}, 音符なし</source>
        <translation>{tab}, no note</translation>
    </message>
    <message>
        <source>{tab}, エラーのため位置がわかりません</source>
        <translation>{tab}, place unknown: the song does not compile</translation>
    </message>
    <message>
        <source>再生中 小節 {bar} 拍 {beat}</source>
        <translation>Playing bar {bar} beat {beat}</translation>
    </message>
    <message>
        <source>再生していません</source>
        <translation>Not playing</translation>
    </message>
    <message>
        <source>{note}, オクターブ {octave}</source>
        <translation>{note}, octave {octave}</translation>
    </message>
    <message>
        <source>{hz} Hz の音</source>
        <translation>a {hz} Hz tone</translation>
    </message>
    <message>
        <source>ド</source>
        <translation>C</translation>
    </message>
    <message>
        <source>レ</source>
        <translation>D</translation>
    </message>
    <message>
        <source>ミ</source>
        <translation>E</translation>
    </message>
    <message>
        <source>ファ</source>
        <translation>F</translation>
    </message>
    <message>
        <source>ソ</source>
        <translation>G</translation>
    </message>
    <message>
        <source>ラ</source>
        <translation>A</translation>
    </message>
    <message>
        <source>シ</source>
        <translation>B</translation>
    </message>
    <message>
        <source>{name}♯</source>
        <translation>{name} sharp</translation>
    </message>
    <message>
        <source>全</source>
        <translation>whole</translation>
    </message>
    <message>
        <source>2分</source>
        <translation>half</translation>
    </message>
    <message>
        <source>4分</source>
        <translation>quarter</translation>
    </message>
    <message>
        <source>8分</source>
        <translation>eighth</translation>
    </message>
    <message>
        <source>16分</source>
        <translation>sixteenth</translation>
    </message>
    <message>
        <source>32分</source>
        <translation>thirty-second</translation>
    </message>
    <message>
        <source>64分</source>
        <translation>sixty-fourth</translation>
    </message>
    <message>
        <source>{length}音符</source>
        <translation>{length}</translation>
    </message>
    <message>
        <source>{length}休符</source>
        <translation>{length} rest</translation>
    </message>
    <message>
        <source>付点{length}音符</source>
        <translation>dotted {length}</translation>
    </message>
    <message>
        <source>付点{length}休符</source>
        <translation>dotted {length} rest</translation>
    </message>
    <message>
        <source>複付点{length}音符</source>
        <translation>double-dotted {length}</translation>
    </message>
    <message>
        <source>複付点{length}休符</source>
        <translation>double-dotted {length} rest</translation>
    </message>
    <message>
        <source>3連{length}音符</source>
        <translation>triplet {length}</translation>
    </message>
    <message>
        <source>3連{length}休符</source>
        <translation>triplet {length} rest</translation>
    </message>
    <message>
        <source>長さ {units}/256 の音符</source>
        <translation>a note {units}/256 long</translation>
    </message>
    <message>
        <source>長さ {units}/256 の休符</source>
        <translation>a rest {units}/256 long</translation>
    </message>
    <message>
        <source>ライト</source>
        <translation>Light</translation>
    </message>
    <message>
        <source>ダーク</source>
        <translation>Dark</translation>
    </message>
    <message>
        <source>ハイコントラスト</source>
        <translation>High contrast</translation>
    </message>
</context>
<context>
    <name>tavolin::qt::BankScopes</name>
    <message>
        <source>各バンクの波形 (直近20ミリ秒) とピークメーター</source>
        <translation>Each bank&apos;s waveform (the last 20 ms) and peak meter</translation>
    </message>
</context>
<context>
    <name>tavolin::qt::CEditEx</name>
    <message>
        <source>入力候補</source>
        <translation>Completions</translation>
    </message>
</context>
<context>
    <name>tavolin::qt::KeysDialog</name>
    <message>
        <source>キー設定</source>
        <translation>Keyboard shortcuts</translation>
    </message>
    <message>
        <source>コマンドとキー</source>
        <translation>Commands and their keys</translation>
    </message>
    <message>
        <source>コマンド</source>
        <translation>Command</translation>
    </message>
    <message>
        <source>キー</source>
        <translation>Key</translation>
    </message>
    <message>
        <source>「%1」のキー</source>
        <translation>Key of “%1”</translation>
    </message>
    <message>
        <source>既定に戻す</source>
        <translation>Restore defaults</translation>
    </message>
    <message>
        <source>キーを変えるには、欄をクリックして新しいキーを押します。</source>
        <translation>To change a key, click its field and press the new key.</translation>
    </message>
</context>
<context>
    <name>tavolin::qt::ExportDialog</name>
    <message>
        <source>バンク別に書き出す</source>
        <translation>One file per bank</translation>
    </message>
    <message>
        <source>鳴っているバンクごとに1ファイル (名前_A.wav など)。どれも曲全体の長さで、足し合わせると全体の書き出しと同じになります</source>
        <translation>One file for each bank that sounds (name_A.wav and so on). Each is as long as the whole song, and together they add up to the full export</translation>
    </message>
    <message>
        <source>ミュート中のバンク %1 は書き出されません</source>
        <translation>Muted banks %1 are left out of the export</translation>
    </message>
</context>
<context>
    <name>tavolin::qt::PianoRollView</name>
    <message>
        <source>クリック: 音符のMMLを選択
矢印キー: 音符から音符へ (Shift+←→ で範囲を選択)
Ctrl+ホイール: 拡大・縮小
ホイール: スクロール
ダブルクリック: 曲全体を表示</source>
        <translation>Click: select the note&apos;s MML
Arrow keys: from note to note (Shift+←→ selects a stretch)
Ctrl+wheel: zoom in and out
Wheel: scroll
Double-click: show the whole song</translation>
    </message>
    <message>
        <source>コンパイルエラー中: 前回の結果を表示</source>
        <translation>Compile error: showing the last result</translation>
    </message>
    <message>
        <source>音符がありません</source>
        <translation>No notes</translation>
    </message>
</context>
<context>
    <name>tavolin::qt::TavolinWindow</name>
    <message>
        <source>キー設定(&amp;K)...</source>
        <translation>&amp;Keyboard shortcuts...</translation>
    </message>
    <message>
        <source>閉じる</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>意味</source>
        <translation>Meaning</translation>
    </message>
    <message>
        <source>MMLリファレンス</source>
        <translation>MML reference</translation>
    </message>
    <message>
        <source>コマンド</source>
        <translation>Command</translation>
    </message>
    <message>
        <source>例</source>
        <translation>Example</translation>
    </message>
    <message>
        <source>ダブルクリックで再生</source>
        <translation>Double-click to play</translation>
    </message>
    <message>
        <source>例を再生</source>
        <translation>Play the example</translation>
    </message>
    <message>
        <source>例を挿入</source>
        <translation>Insert the example</translation>
    </message>
    <message>
        <source>編集(&amp;E)</source>
        <translation>&amp;Edit</translation>
    </message>
    <message>
        <source>元に戻す(&amp;U)</source>
        <translation>&amp;Undo</translation>
    </message>
    <message>
        <source>やり直し(&amp;R)</source>
        <translation>&amp;Redo</translation>
    </message>
    <message>
        <source>切り取り(&amp;T)</source>
        <translation>Cu&amp;t</translation>
    </message>
    <message>
        <source>コピー(&amp;C)</source>
        <translation>&amp;Copy</translation>
    </message>
    <message>
        <source>貼り付け(&amp;P)</source>
        <translation>&amp;Paste</translation>
    </message>
    <message>
        <source>すべて選択(&amp;A)</source>
        <translation>Select &amp;All</translation>
    </message>
    <message>
        <source>検索(&amp;F)...</source>
        <translation>&amp;Find...</translation>
    </message>
    <message>
        <source>次を検索(&amp;N)</source>
        <translation>Find &amp;Next</translation>
    </message>
    <message>
        <source>前を検索(&amp;V)</source>
        <translation>Find Pre&amp;vious</translation>
    </message>
    <message>
        <source>検索:</source>
        <translation>Find:</translation>
    </message>
    <message>
        <source>前へ</source>
        <translation>Previous</translation>
    </message>
    <message>
        <source>次へ</source>
        <translation>Next</translation>
    </message>
    <message>
        <source>見つかりません</source>
        <translation>Not found</translation>
    </message>
    <message>
        <source>疑似8ビットモード</source>
        <translation>Pseudo 8-bit mode</translation>
    </message>
    <message>
        <source>互換性のために残してある項目です。オンにしても音や書き出しには何の効果もありません。</source>
        <translation>Kept for compatibility only. Checking it has no effect on the sound or on exports.</translation>
    </message>
    <message>
        <source>Loop</source>
        <translation>Loop</translation>
    </message>
    <message>
        <source>Current Bank Play</source>
        <translation>Current Bank Play</translation>
    </message>
    <message>
        <source>Start from current cursor</source>
        <translation>Start from current cursor</translation>
    </message>
    <message>
        <source>Play(&amp;F5)</source>
        <translation>Play(&amp;F5)</translation>
    </message>
    <message>
        <source>Stop(&amp;F6)</source>
        <translation>Stop(&amp;F6)</translation>
    </message>
    <message>
        <source>Wav出力</source>
        <translation>Export WAV</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>全タブ内容をクリアする</source>
        <translation>Clear all tabs</translation>
    </message>
    <message>
        <source>音色定義サポート</source>
        <translation>Tone definition</translation>
    </message>
    <message>
        <source>波形</source>
        <translation>Wave</translation>
    </message>
    <message>
        <source>Duty比</source>
        <translation>Duty ratio</translation>
    </message>
    <message>
        <source>Add</source>
        <translation>Add</translation>
    </message>
    <message>
        <source>Del</source>
        <translation>Del</translation>
    </message>
    <message>
        <source>周波数ノイズ
変動範囲(%)</source>
        <translation>Frequency noise
range (%)</translation>
    </message>
    <message>
        <source>レベルノイズ(%)</source>
        <translation>Level noise (%)</translation>
    </message>
    <message>
        <source>Duty比
切り替えタイミング(ms)</source>
        <translation>Duty ratio
switching period (ms)</translation>
    </message>
    <message>
        <source>音色番号</source>
        <translation>Tone number</translation>
    </message>
    <message>
        <source>コマンド挿入</source>
        <translation>Insert command</translation>
    </message>
    <message>
        <source>テスト</source>
        <translation>Test phrase</translation>
    </message>
    <message>
        <source>Test</source>
        <translation>Test</translation>
    </message>
    <message>
        <source>エンベロープサポート</source>
        <translation>Envelope</translation>
    </message>
    <message>
        <source>タイム</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>レベル</source>
        <translation>Level</translation>
    </message>
    <message>
        <source>番号</source>
        <translation>Number</translation>
    </message>
    <message>
        <source>template</source>
        <translation>template</translation>
    </message>
    <message>
        <source>外部MMLインポート</source>
        <translation>Import MML from other tools</translation>
    </message>
    <message>
        <source>バンク途中に出現するTコマンドを
無視してインポートする</source>
        <translation>Ignore T commands inside
the banks when importing</translation>
    </message>
    <message>
        <source>外部MMLの仕様音量最大</source>
        <translation>Source maximum volume</translation>
    </message>
    <message>
        <source>音量を有効バンク数で割る</source>
        <translation>Divide the volume by the number of used banks</translation>
    </message>
    <message>
        <source>インポート</source>
        <translation>Import</translation>
    </message>
    <message>
        <source>説明</source>
        <translation>About the import</translation>
    </message>
    <message>
        <source>クリップボードにあるMMLをインポートします。
文字列先頭にMML@があったり、最後にセミコロンがあっても無視します。
本ソフトウェアの仕様上、Tコマンドはバンク独立しますので、先頭にあった場合は共通コマンドへインポートしその差異を吸収します。</source>
        <translation>Imports the MML on the clipboard.
A leading MML@ and a final semicolon are ignored.
Tempo (T) is kept per bank in this program, so a T command at the very start is imported into the common tab, which every bank receives.</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>&amp;File</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Help</translation>
    </message>
    <message>
        <source>言語(&amp;L)</source>
        <translation>&amp;Language</translation>
    </message>
    <message>
        <source>自動</source>
        <translation>Automatic</translation>
    </message>
    <message>
        <source>日本語</source>
        <translation>Japanese</translation>
    </message>
    <message>
        <source>English</source>
        <translation>English</translation>
    </message>
    <message>
        <source>言語の設定は次回の起動から有効になります。</source>
        <translation>The language setting takes effect the next time Tavolin starts.</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Atack</source>
        <translation>Attack</translation>
    </message>
    <message>
        <source>Decay</source>
        <translation>Decay</translation>
    </message>
    <message>
        <source>Release</source>
        <translation>Release</translation>
    </message>
    <message>
        <source>Sustain</source>
        <translation>Sustain</translation>
    </message>
    <message>
        <source>バンク%1をミュート (鳴らし続けたまま音だけ外す)</source>
        <translation>Mute bank %1 (it keeps running; only its sound is left out)</translation>
    </message>
    <message>
        <source>バンク%1をソロ (ソロのバンクだけを聞く)</source>
        <translation>Solo bank %1 (hear only the soloed banks)</translation>
    </message>
    <message>
        <source>バンク別: ミュート・ソロ、波形とレベル</source>
        <translation>Banks: mute, solo, waveforms and levels</translation>
    </message>
    <message>
        <source>ピアノロール</source>
        <translation>Piano roll</translation>
    </message>
    <message>
        <source>選択範囲をループ再生: 選択範囲（またはピアノロールの目盛りをドラッグした範囲）を繰り返し再生します (Ctrl+L)</source>
        <translation>Loop the selection: plays the selection (or the stretch dragged across the piano roll&apos;s ruler) over and over (Ctrl+L)</translation>
    </message>
    <message>
        <source>再生(&amp;P)</source>
        <translation>&amp;Play</translation>
    </message>
    <message>
        <source>再生</source>
        <translation>Play</translation>
    </message>
    <message>
        <source>ループ再生</source>
        <translation>Loop selection</translation>
    </message>
    <message>
        <source>停止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>演算の種類</source>
        <translation>Arithmetic</translation>
    </message>
    <message>
        <source>合成エンジンの数値の型: Fix、Float、Double</source>
        <translation>The number type of the synthesizer: Fix, Float or Double</translation>
    </message>
    <message>
        <source>サンプリング周波数</source>
        <translation>Sample rate</translation>
    </message>
    <message>
        <source>出力のサンプリング周波数 (Hz)</source>
        <translation>The output's sample rate (Hz)</translation>
    </message>
    <message>
        <source>タブ</source>
        <translation>Tabs</translation>
    </message>
    <message>
        <source>共通とバンクA～Eのタブ。Ctrl+Tab で次、Ctrl+Shift+Tab で前、Alt+0～Alt+5 で直接選びます</source>
        <translation>The common tab and banks A to E. Ctrl+Tab: next, Ctrl+Shift+Tab: previous, Alt+0 to Alt+5: straight to one</translation>
    </message>
    <message>
        <source>MMLエディタ</source>
        <translation>MML editor</translation>
    </message>
    <message>
        <source>選んだタブのMML。F8 でカーソル位置の小節・拍と音符を読み上げ、F1 でコマンドの説明</source>
        <translation>The selected tab's MML. F8 speaks the bar, beat and note at the caret; F1 explains the command</translation>
    </message>
    <message>
        <source>Duty比の一覧</source>
        <translation>Duty ratios</translation>
    </message>
    <message>
        <source>Add で加えたDuty比。Del で選んだものを消します</source>
        <translation>The duty ratios added with Add; Del removes the selected one</translation>
    </message>
    <message>
        <source>補助ツール</source>
        <translation>Helpers</translation>
    </message>
    <message>
        <source>音色定義、エンベロープ、外部MMLインポート</source>
        <translation>Tone definition, envelope, external MML import</translation>
    </message>
    <message>
        <source>カーソル位置</source>
        <translation>Caret position</translation>
    </message>
    <message>
        <source>行:列、カーソルの音符の時刻と曲の長さ</source>
        <translation>Line:column, the time of the caret's note and the song's length</translation>
    </message>
    <message>
        <source>バンクごとの色で音符を表示します。クリックで音符のMMLを選択</source>
        <translation>The notes in each bank's colour; a click selects a note's MML</translation>
    </message>
    <message>
        <source>バンク別の波形とレベル</source>
        <translation>Waveforms and levels per bank</translation>
    </message>
    <message>
        <source>バンクごとの波形とレベルメーター</source>
        <translation>Each bank's waveform and level meter</translation>
    </message>
    <message>
        <source>読み上げ</source>
        <translation>Speech</translation>
    </message>
    <message>
        <source>F8 と Shift+F8 で読み上げた内容</source>
        <translation>What F8 and Shift+F8 spoke last</translation>
    </message>
    <message>
        <source>バンク%1をミュート</source>
        <translation>Mute bank %1</translation>
    </message>
    <message>
        <source>バンク%1をソロ</source>
        <translation>Solo bank %1</translation>
    </message>
    <message>
        <source>押すとエラーの場所へ移動します</source>
        <translation>Press to go to the error</translation>
    </message>
    <message>
        <source>表示(&amp;V)</source>
        <translation>&amp;View</translation>
    </message>
    <message>
        <source>テーマ(&amp;T)</source>
        <translation>&amp;Theme</translation>
    </message>
    <message>
        <source>文字を大きく(&amp;I)</source>
        <translation>Zoom &amp;in</translation>
    </message>
    <message>
        <source>文字を小さく(&amp;O)</source>
        <translation>Zoom &amp;out</translation>
    </message>
    <message>
        <source>文字を標準の大きさに(&amp;R)</source>
        <translation>&amp;Reset zoom</translation>
    </message>
    <message>
        <source>カーソル位置を読み上げ</source>
        <translation>Speak the caret's place</translation>
    </message>
    <message>
        <source>再生位置を読み上げ</source>
        <translation>Speak the playing position</translation>
    </message>
    <message>
        <source>タブ(&amp;B)</source>
        <translation>Ta&amp;bs</translation>
    </message>
    <message>
        <source>次のタブ</source>
        <translation>Next tab</translation>
    </message>
    <message>
        <source>前のタブ</source>
        <translation>Previous tab</translation>
    </message>
    <message>
        <source>共通</source>
        <translation>Common</translation>
    </message>
    <message>
        <source>文字の大きさ %1%</source>
        <translation>Text size %1%</translation>
    </message>
</context>
<context>
    <name>tavolin::qt::CEditEx</name>
    <message>
        <source>行番号</source>
        <translation>Line numbers</translation>
    </message>
</context>
</TS>
