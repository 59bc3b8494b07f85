#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# tavolin-cli lsp end to end in a real client: headless Neovim (Debian package neovim) opens a
# CP932 document with a double-byte comment and CR LF breaks, shows the error where the server
# puts it, hovers over a command, takes an edit, hovers over a note, renders the edited text to a
# WAV through workspace/executeCommand, and stops the server cleanly.
set -euo pipefail
cd "$(dirname "$0")/../.."
cli="${TAVOLIN_CLI:-build/release/app/tavolin-cli}"
if ! command -v nvim >/dev/null; then
  echo "57-lsp-neovim: nvim not found (install the Debian package neovim)" >&2
  exit 1
fi
if [ ! -x "$cli" ]; then
  echo "57-lsp-neovim: $cli not built" >&2
  exit 1
fi
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Bank A: "C" CR LF "*あ*C]D" in CP932. The ] on line 1 is UTF-16 column 4 for the server and
# byte 6 of the UTF-8 line for Neovim.
printf 'SMML@T120;MML@C\r\n*\x82\xa0*C]D,,,,;' >"$tmp/song.mml"
cat >"$tmp/init.lua" <<'EOF'
local results = {}
local function say(s) table.insert(results, s) end
local function finish()
  vim.fn.writefile(results, vim.env.RESULT)
  vim.cmd('qall!')
end
vim.cmd('edit ++enc=cp932 ' .. vim.fn.fnameescape(vim.env.SONG))
local buf = vim.api.nvim_get_current_buf()
local exit_code = nil
local client = vim.lsp.start_client({
  name = 'tavolin',
  cmd = { vim.env.CLI, 'lsp' },
  root_dir = vim.fn.fnamemodify(vim.env.SONG, ':h'),
  on_exit = function(code) exit_code = code end,
})
vim.lsp.buf_attach_client(buf, client)
local function hover(line, character)
  local r = vim.lsp.buf_request_sync(buf, 'textDocument/hover', {
    textDocument = { uri = vim.uri_from_bufnr(buf) }, position = { line = line, character = character } }, 5000)
  for _, reply in pairs(r or {}) do
    if reply.result then return vim.split(reply.result.contents.value, '\n')[1] end
  end
  return 'no hover'
end
if not vim.wait(10000, function() return #vim.diagnostic.get(buf) > 0 end, 20) then
  say('no diagnostics')
  return finish()
end
local d = vim.diagnostic.get(buf)[1]
local code = d.code or (d.user_data and d.user_data.lsp and d.user_data.lsp.code)
say(string.format('diagnostic %d:%d-%d %s %s', d.lnum, d.col, d.end_col, tostring(code), d.message))
say('hover ' .. hover(1, 4))
vim.api.nvim_buf_set_lines(buf, 1, 2, false, { '*あ*C D' })
if vim.wait(10000, function() return #vim.diagnostic.get(buf) == 0 end, 20) then say('fixed') else say('still an error') end
say('hover ' .. hover(1, 3))
local rendered = vim.lsp.buf_request_sync(buf, 'workspace/executeCommand', {
  command = 'tavolin.render', arguments = { { uri = vim.uri_from_bufnr(buf), path = vim.env.WAV } } }, 10000)
local frames = 'no render'
for _, reply in pairs(rendered or {}) do
  if reply.result then frames = 'render ' .. reply.result.frames .. ' frames' end
end
say(frames)
vim.lsp.stop_client(client)
vim.wait(5000, function() return exit_code ~= nil end, 20)
say('server exit ' .. tostring(exit_code))
finish()
EOF

LANG=C.UTF-8 LC_ALL=C.UTF-8 CLI="$(realpath "$cli")" SONG="$tmp/song.mml" RESULT="$tmp/result.txt" WAV="$tmp/song.wav" \
  timeout 60 nvim --headless --clean -u "$tmp/init.lua" >"$tmp/nvim.log" 2>&1 || true
expected='diagnostic 1:6-7 0x8000001C ループ開始していないのにループ終了が来た
hover **]**
fixed
hover **C4** 261.63 Hz (バンク A)
render 72000 frames
server exit 0'
if ! diff <(printf '%s\n' "$expected") "$tmp/result.txt"; then
  echo "57-lsp-neovim: Neovim saw something else (above: - expected, + seen)" >&2
  cat "$tmp/nvim.log" >&2 || true
  exit 1
fi
# C C D at T120: three quarters of 24,000 frames, 16-bit stereo behind the 44-byte header.
if [ "$(stat -c %s "$tmp/song.wav")" != 288044 ]; then
  echo "57-lsp-neovim: the rendered WAV is $(stat -c %s "$tmp/song.wav") bytes, not 288044" >&2
  exit 1
fi
echo "57-lsp-neovim: ok"
