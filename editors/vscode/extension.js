// Starts tavolin-cli lsp for .mml documents. Plain JavaScript: nothing to compile.
'use strict';
const vscode = require('vscode');
const { LanguageClient } = require('vscode-languageclient/node');

let client;

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
  client.start();
  context.subscriptions.push({ dispose: () => client && client.stop() });
}

function deactivate() {
  return client ? client.stop() : undefined;
}

module.exports = { activate, deactivate };
