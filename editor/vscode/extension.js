// The Zorvik VM extension: starts zorvik-lsp for .zvs files and
// zorvik-debug --dap for debug sessions of type "zorvik", each found on
// the PATH unless a setting names it.
const vscode = require('vscode');
const {LanguageClient} = require('vscode-languageclient/node');

let client = null;

function setting(name, fallback) {
  return vscode.workspace.getConfiguration('zorvik').get(name) || fallback;
}

function activate(context) {
  client = new LanguageClient('zorvik', 'Zorvik VM', {command: setting('serverPath', 'zorvik-lsp'), args: []}, {
    documentSelector: [{scheme: 'file', language: 'zorvik'}, {scheme: 'untitled', language: 'zorvik'}],
  });
  client.start();
  context.subscriptions.push(vscode.debug.registerDebugAdapterDescriptorFactory('zorvik', {
    createDebugAdapterDescriptor() {
      return new vscode.DebugAdapterExecutable(setting('debuggerPath', 'zorvik-debug'), ['--dap']);
    },
  }));
}

function deactivate() {
  return client ? client.stop() : undefined;
}

module.exports = {activate, deactivate};
