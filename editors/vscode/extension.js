// SPDX-License-Identifier: MIT
// Starts tavolin-cli lsp for .mml documents, adds play, stop and render, and lights the notes
// sounding while a song plays. Plain JavaScript: nothing to compile.
'use strict';
const vscode = require('vscode');
const { LanguageClient } = require('vscode-languageclient/node');

let client;

// A running server's command (workspace/executeCommand) with one object argument.
function serverCommand(name, argument) {
  return client.sendRequest('workspace/executeCommand', { command: name, arguments: argument ? [argument] : [] });
}

function mmlEditor() {
  const editor = vscode.window.activeTextEditor;
  return editor && editor.document.languageId === 'tavolin-mml' ? editor : undefined;
}

function documentUri(editor) {
  return client.code2ProtocolConverter.asUri(editor.document.uri);
}

function reportFailure(error) {
  vscode.window.showErrorMessage(`Tavolin: ${error && error.message ? error.message : error}`);
}

function activate(context) {
  const config = vscode.workspace.getConfiguration('tavolin');
  const command = config.get('cliPath', 'tavolin-cli');
  const serverOptions = { command, args: ['lsp'] };
  const clientOptions = {
    documentSelector: [{ language: 'tavolin-mml' }],
    initializationOptions: {
      arithmetic: config.get('arithmetic', 'Float'),
      sampleRate: config.get('sampleRate', 48000),
    },
  };
  client = new LanguageClient('tavolin', 'Tavolin MML', serverOptions, clientOptions);

  // The notes sounding, outlined in the editors that show their document.
  const playing = vscode.window.createTextEditorDecorationType({
    backgroundColor: new vscode.ThemeColor('editor.wordHighlightStrongBackground'),
    borderColor: new vscode.ThemeColor('editorCursor.foreground'),
    borderStyle: 'solid',
    borderWidth: '1px',
  });
  let lit = { uri: '', notes: [] };
  const light = (editor) => {
    const notes = documentUri(editor) === lit.uri ? lit.notes : [];
    editor.setDecorations(playing, notes.map((n) => client.protocol2CodeConverter.asRange(n.range)));
  };

  const play = (fromCursor) => () => {
    const editor = mmlEditor();
    if (!editor) return undefined;
    const argument = { uri: documentUri(editor), loop: config.get('loop', false) };
    if (fromCursor) argument.position = client.code2ProtocolConverter.asPosition(editor.selection.active);
    return serverCommand('tavolin.play', argument).catch(reportFailure);
  };
  context.subscriptions.push(
    playing,
    vscode.commands.registerCommand('tavolin-mml.play', play(false)),
    vscode.commands.registerCommand('tavolin-mml.playFromCursor', play(true)),
    vscode.commands.registerCommand('tavolin-mml.stop', () => serverCommand('tavolin.stop').catch(reportFailure)),
    vscode.commands.registerCommand('tavolin-mml.render', async () => {
      const editor = mmlEditor();
      if (!editor) return;
      const target = await vscode.window.showSaveDialog({
        defaultUri: editor.document.uri.with({ path: editor.document.uri.path.replace(/\.[^./]*$/, '') + '.wav' }),
        filters: { WAV: ['wav'] },
      });
      if (!target) return;
      try {
        const done = await serverCommand('tavolin.render', { uri: documentUri(editor), path: target.fsPath });
        const rate = config.get('sampleRate', 48000);
        vscode.window.showInformationMessage(`Tavolin: ${done.path} (${(done.frames / rate).toFixed(1)} s)`);
      } catch (error) {
        reportFailure(error);
      }
    }),
    vscode.window.onDidChangeVisibleTextEditors((editors) => editors.forEach(light)),
  );

  client.start().then(() => {
    client.onNotification('tavolin/playingNotes', (params) => {
      lit = params;
      vscode.window.visibleTextEditors.forEach(light);
    });
  }, reportFailure);
  context.subscriptions.push({ dispose: () => client && client.stop() });
}

function deactivate() {
  return client ? client.stop() : undefined;
}

module.exports = { activate, deactivate };
