// zorvik-debug --dap through the Debug Adapter Protocol's own test client:
// breakpoints by line and label, a data breakpoint, steps forward and back,
// variables, memory, evaluation, logpoints and bad requests; memory
// references as a client's memory view uses them; a kept run replayed from
// the launch's keys, seed and input.
//   ZORVIK_DEBUG_BIN=... ZORVIK_RUN_DIR=... node --test dap.test.js
const { test } = require('node:test');
const assert = require('node:assert');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { DebugClient } = require('@vscode/debugadapter-testsupport');

const debugBin = process.env.ZORVIK_DEBUG_BIN;
const runDir = process.env.ZORVIK_RUN_DIR;
const work = fs.mkdtempSync(path.join(os.tmpdir(), 'zorvik-dap-'));
for (const name of ['term.mxf', 'icon.bmp'])
    fs.copyFileSync(path.join(runDir, name), path.join(work, name));
const program = path.join(work, 'calls.zvs');
fs.copyFileSync(path.join(__dirname, '..', 'debugger', 'calls.zvs'), program);

// Sends a request that runs the program and waits for the stop it ends in;
// the wait starts first, since the event may come with the response.
async function stopsAt(dc, request, reason, line) {
    const waiting = dc.waitForEvent('stopped');
    await request;
    const stopped = await waiting;
    assert.equal(stopped.body.reason, reason);
    const trace = await dc.stackTraceRequest({ threadId: 1 });
    assert.equal(trace.body.stackFrames[0].line, line);
    return trace.body.stackFrames;
}

async function value(dc, expression) {
    return (await dc.evaluateRequest({ expression, context: 'watch' })).body.result;
}

test('a whole session', { timeout: 60000 }, async () => {
    const dc = new DebugClient(debugBin, '--dap', 'zorvik', { cwd: work, env: { ...process.env, SDL_VIDEODRIVER: 'dummy' } });
    dc.defaultTimeout = 10000;
    await dc.start();
    try {
        // A line breakpoint, hit on the way.
        await dc.hitBreakpoint({ program, cwd: work, record: true }, { path: program, line: 6 });
        const scopes = await dc.scopesRequest({ frameId: 0 });
        assert.deepEqual(scopes.body.scopes.map(s => s.name), ['Registers', 'Flags', 'Stacks']);
        const registers = await dc.variablesRequest({ variablesReference: scopes.body.scopes[0].variablesReference });
        assert.deepEqual(registers.body.variables.map(v => `${v.name}=${v.value}`), ['A=0 ($0)', 'X=0 ($0)', 'Y=0 ($0)']);

        // A label breakpoint: the stack shows the waiting jsr.
        const labels = await dc.setFunctionBreakpointsRequest({ breakpoints: [{ name: 'bump' }] });
        assert.equal(labels.body.breakpoints[0].verified, true);
        assert.equal(labels.body.breakpoints[0].line, 19);
        const frames = await stopsAt(dc, dc.continueRequest({ threadId: 1 }), 'breakpoint', 19);
        assert.equal(frames.length, 2);
        assert.equal(frames[1].line, 7);

        // A data breakpoint on $10 stops after the store.
        const info = await dc.dataBreakpointInfoRequest({ name: '$10' });
        assert.ok(info.body.dataId);
        await dc.setDataBreakpointsRequest({ breakpoints: [{ dataId: info.body.dataId }] });
        await stopsAt(dc, dc.continueRequest({ threadId: 1 }), 'data breakpoint', 22);
        assert.equal(await value(dc, '[$10]'), '7 ($7)');

        // Memory, and a register set from the client.
        const memory = await dc.customRequest('readMemory', { memoryReference: 'memory', offset: 16, count: 2 });
        assert.equal(memory.body.data, Buffer.from([7, 0]).toString('base64'));
        await dc.customRequest('writeMemory', { memoryReference: 'memory', offset: 32, data: Buffer.from('A').toString('base64') });
        assert.equal(await value(dc, '[$20] == 65'), '1 ($1)');
        const set = await dc.setVariableRequest({ variablesReference: 1, name: 'Y', value: '$2a' });
        assert.equal(set.body.value, '42 ($2a)');

        // Back in time: the store undone, then back to the label breakpoint.
        await stopsAt(dc, dc.stepBackRequest({ threadId: 1 }), 'step', 21);
        assert.equal(await value(dc, '[$10]'), '0 ($0)');
        await stopsAt(dc, dc.reverseContinueRequest({ threadId: 1 }), 'breakpoint', 19);

        // Forward again: into, out of the subroutine, over a line.
        await dc.setDataBreakpointsRequest({ breakpoints: [] });
        await dc.setFunctionBreakpointsRequest({ breakpoints: [] });
        await stopsAt(dc, dc.stepInRequest({ threadId: 1 }), 'step', 20);
        await stopsAt(dc, dc.stepOutRequest({ threadId: 1 }), 'step', 8);
        await stopsAt(dc, dc.nextRequest({ threadId: 1 }), 'step', 9);

        // Bad requests get error responses, and the session goes on.
        await assert.rejects(dc.customRequest('noSuchRequest'), /unknown request/);
        await assert.rejects(dc.evaluateRequest({ expression: '1 +' }), /column 4/);

        // A logpoint prints instead of stopping; the program's output and its
        // end, a stop of its own with the history recorded.
        await dc.setBreakpointsRequest({ source: { path: program }, breakpoints: [{ line: 8, logMessage: 'X is {X}' }] });
        const logged = dc.assertOutput('console', 'X is 2\nX is 3\n');
        const printed = dc.assertOutput('stdout', 'A\n');
        await stopsAt(dc, dc.continueRequest({ threadId: 1 }), 'end', 18);
        await Promise.all([logged, printed]);
    } finally {
        await dc.stop();
    }
});

// Back over a call and out of a subroutine; a change in the past forks the
// run, with a note; with a history the end is a stop like any other, every
// reverse motion works from it, and the session's end tells the exit code.
test('reverse next and finish, a fork, and the end kept for going back', { timeout: 60000 }, async () => {
    const dc = new DebugClient(debugBin, '--dap', 'zorvik', { cwd: work, env: { ...process.env, SDL_VIDEODRIVER: 'dummy' } });
    dc.defaultTimeout = 10000;
    await dc.start();
    try {
        const capabilities = (await dc.initializeRequest()).body;
        for (const name of ['zorvikReverseNext', 'zorvikReverseFinish', 'zorvikNextFrame'])
            assert.ok(capabilities.zorvikRequests.includes(name), name);
        await dc.hitBreakpoint({ program, cwd: work, record: true }, { path: program, line: 21 });
        await dc.setBreakpointsRequest({ source: { path: program }, breakpoints: [] });
        await stopsAt(dc, dc.customRequest('zorvikReverseFinish', { threadId: 1 }), 'step', 7);
        await stopsAt(dc, dc.customRequest('zorvikReverseNext', { threadId: 1 }), 'step', 6);
        await assert.rejects(dc.customRequest('zorvikReverseFinish', { threadId: 1 }), /the return stack is empty/);

        // X = 2 before the first inx: one pass of the loop, 7 + 44 is '3'.
        const noted = dc.assertOutput('important', 'the history after this statement is dropped\n');
        const printed = dc.assertOutput('stdout', '3\n');
        assert.equal((await dc.setVariableRequest({ variablesReference: 1, name: 'X', value: '2' })).body.value, '2 ($2)');
        await noted;
        const ended = dc.waitForEvent('stopped');
        await stopsAt(dc, dc.continueRequest({ threadId: 1 }), 'end', 18);
        assert.equal((await ended).body.description, 'program ended with status 0');
        await printed;

        await stopsAt(dc, dc.stepBackRequest({ threadId: 1 }), 'step', 18);
        assert.equal(await value(dc, '[$11]'), '51 ($33)');
        await stopsAt(dc, dc.reverseContinueRequest({ threadId: 1 }), 'step', 3);
        await stopsAt(dc, dc.continueRequest({ threadId: 1 }), 'end', 18);
        const exited = dc.waitForEvent('exited'), terminated = dc.waitForEvent('terminated');
        await dc.terminateRequest();
        assert.equal((await exited).body.exitCode, 0);
        await terminated;
    } finally {
        await dc.stop();
    }
});

test('pause stops a busy loop', { timeout: 60000 }, async () => {
    const spin = path.join(work, 'spin.zvs');
    fs.writeFileSync(spin, 'spin inx\n jmp spin\n');
    const dc = new DebugClient(debugBin, '--dap', 'zorvik', { cwd: work, env: { ...process.env, SDL_VIDEODRIVER: 'dummy' } });
    dc.defaultTimeout = 10000;
    await dc.start();
    try {
        const initialized = dc.waitForEvent('initialized');
        await dc.launch({ program: spin, cwd: work });
        await initialized;
        await dc.configurationDoneRequest();
        await new Promise(done => setTimeout(done, 300));
        await stopsAt(dc, dc.pauseRequest({ threadId: 1 }), 'pause', 1);
        assert.match(await value(dc, 'X'), /^\d+ \(\$[0-9a-f]+\)$/);
    } finally {
        await dc.stop();
    }
});

test('memory references of evaluated cells', { timeout: 60000 }, async () => {
    const dc = new DebugClient(debugBin, '--dap', 'zorvik', { cwd: work, env: { ...process.env, SDL_VIDEODRIVER: 'dummy' } });
    dc.defaultTimeout = 10000;
    await dc.start();
    try {
        // Without stopOnEntry, a breakpoint on the very first statement stops the run.
        await dc.hitBreakpoint({ program, cwd: work }, { path: program, line: 3 });
        await dc.setBreakpointsRequest({ source: { path: program }, breakpoints: [{ line: 22 }] });
        await stopsAt(dc, dc.continueRequest({ threadId: 1 }), 'breakpoint', 22);

        // The cell's reference, read as VS Code's memory view reads it: from
        // the reference, and from a page before it.
        const cell = (await dc.evaluateRequest({ expression: '[$10]', context: 'watch' })).body;
        assert.equal(cell.result, '7 ($7)');
        assert.equal(cell.memoryReference, '0x10');
        const bytes = async (args) => {
            const body = (await dc.customRequest('readMemory', args)).body;
            return [body.address, [...Buffer.from(body.data || '', 'base64')], body.unreadableBytes || 0];
        };
        assert.deepEqual(await bytes({ memoryReference: cell.memoryReference, offset: 0, count: 2 }), ['0x10', [7, 0], 0]);
        const page = await bytes({ memoryReference: cell.memoryReference, offset: -16, count: 32 });
        assert.equal(page[0], '0x0');
        assert.equal(page[1].length, 32);
        assert.equal(page[1][16], 7);
        for (const ref of ['16', '$10', '0X10'])
            assert.deepEqual(await bytes({ memoryReference: ref, count: 1 }), ['0x10', [7], 0]);
        assert.deepEqual(await bytes({ memoryReference: 'memory', offset: 16, count: 1 }), ['0x10', [7], 0]);
        // Before address 0 and past the last cell: unreadable, nothing sent.
        assert.deepEqual(await bytes({ memoryReference: '0x10', offset: -40, count: 8 }), ['0x0', [], 8]);
        assert.deepEqual(await bytes({ memoryReference: '0xfffffe', count: 4 }), ['0xfffffe', [0, 0], 2]);

        // Written through a reference and an offset.
        await dc.customRequest('writeMemory', { memoryReference: cell.memoryReference, offset: 1, data: Buffer.from('A').toString('base64') });
        assert.equal(await value(dc, '[$11]'), '65 ($41)');
        await assert.rejects(dc.customRequest('writeMemory', { memoryReference: '0xffffff', offset: 1, data: 'QQ==' }), /memory is 0 to 0xffffff/);
        await assert.rejects(dc.customRequest('readMemory', { memoryReference: 'stack', count: 1 }), /memory reference/);
        await assert.rejects(dc.customRequest('readMemory', { memoryReference: '0x1000000', count: 1 }), /memory reference/);

        // Only a memory cell has a reference.
        const sum = (await dc.evaluateRequest({ expression: '[$10] + 1', context: 'watch' })).body;
        assert.equal(sum.result, '8 ($8)');
        assert.equal(sum.memoryReference, undefined);
        assert.equal((await dc.evaluateRequest({ expression: '[X + 9]', context: 'hover' })).body.memoryReference, '0xa');

        // Without a history, the end ends the session.
        await dc.setBreakpointsRequest({ source: { path: program }, breakpoints: [] });
        const exited = dc.waitForEvent('exited'), terminated = dc.waitForEvent('terminated');
        await dc.continueRequest({ threadId: 1 });
        assert.equal((await exited).body.exitCode, 0);
        await terminated;
    } finally {
        await dc.stop();
    }
});

test('zorvikPixel names the statement that last drew a pixel', { timeout: 60000 }, async () => {
    const drawing = path.join(work, 'pixel.zvs');
    fs.writeFileSync(drawing, '        lda #$7E\n        ldx #3\n        ldy #4\n        int #22\n        lda #0\n');
    const dc = new DebugClient(debugBin, '--dap', 'zorvik', { cwd: work, env: { ...process.env, SDL_VIDEODRIVER: 'dummy' } });
    dc.defaultTimeout = 10000;
    await dc.start();
    try {
        await dc.hitBreakpoint({ program: drawing, cwd: work, record: true }, { path: drawing, line: 5 });
        const drawn = (await dc.customRequest('zorvikPixel', { x: 3, y: 4 })).body;
        assert.deepEqual(drawn, { cell: 255 + 3 + 480 * 4, byte: 0x7e, red: 255, green: 255, blue: 255,
                                  source: { name: 'pixel.zvs', path: drawing }, line: 4, column: 9 });
        assert.deepEqual((await dc.customRequest('zorvikPixel', { x: 5, y: 5 })).body,
                         { cell: 255 + 5 + 480 * 5, byte: 0, red: 0, green: 0, blue: 0 });
        await assert.rejects(dc.customRequest('zorvikPixel', { x: 255, y: 0 }), /outside the screen area/);

        // The picture in memory, and going back one statement takes the pixel away.
        const pixel = async (x, y) => {
            const screen = (await dc.customRequest('zorvikScreen')).body;
            assert.equal(screen.width * screen.height * 3, Buffer.from(screen.data, 'base64').length);
            return [...Buffer.from(screen.data, 'base64').subarray((y * screen.width + x) * 3, (y * screen.width + x) * 3 + 3)];
        };
        assert.deepEqual(await pixel(3, 4), [255, 255, 255]);
        assert.deepEqual(await pixel(5, 5), [0, 0, 0]);
        await Promise.all([dc.waitForEvent('stopped'), dc.customRequest('stepBack', { threadId: 1 })]);
        assert.deepEqual(await pixel(3, 4), [0, 0, 0]);

        // Back to the statement that drew a pixel, from further on.
        await Promise.all([dc.waitForEvent('stopped'), dc.customRequest('next', { threadId: 1 })]);
        await Promise.all([dc.waitForEvent('stopped'), dc.customRequest('zorvikReverseToWriter', { cell: drawn.cell })]);
        assert.equal((await dc.stackTraceRequest({ threadId: 1 })).body.stackFrames[0].line, 4);
        assert.deepEqual(await pixel(3, 4), [0, 0, 0]);
        await assert.rejects(dc.customRequest('zorvikReverseToWriter', { cell: 5 }), /no statement in the history wrote \[\$5\]/);
    } finally {
        await dc.stop();
    }
});

// The kept run of tests/debugger/replay: the launch's keys, seed and input
// (a file, as `input` always named one; the page's test gives inputText)
// replay it as zorvik-test and zorvik-capture play it (the output of
// dodge.out), back and forth; a bad part is refused by name.
test('a launch with keys, seed and input replays a kept run', { timeout: 60000 }, async () => {
    const kept = path.join(__dirname, '..', 'debugger', 'replay');
    const game = path.join(work, 'dodge.zvs');
    fs.copyFileSync(path.join(kept, 'dodge.zvs'), game);
    const keys = '5:right:down, 12:Right:up\n# a comment\n20:RIGHT:down,31:right:up';
    const expected = fs.readFileSync(path.join(kept, 'dodge.out'), 'utf8');
    const dc = new DebugClient(debugBin, '--dap', 'zorvik', { cwd: work, env: { ...process.env, SDL_VIDEODRIVER: 'dummy' } });
    dc.defaultTimeout = 10000;
    await dc.start();
    try {
        // The held right arrow is first taken after frame 5: four frames gone by ($51).
        await dc.hitBreakpoint({ program: game, cwd: work, record: true, keys, seed: 7, input: path.join(kept, 'dodge.in') },
                               { path: game, line: 30 });
        assert.equal(await value(dc, '[$51]'), '4 ($4)');
        const score = await value(dc, '[$50]');
        await dc.setBreakpointsRequest({ source: { path: game }, breakpoints: [] });
        const printed = dc.assertOutput('stdout', expected);
        await stopsAt(dc, dc.continueRequest({ threadId: 1 }), 'end', 67);
        await printed;
        const end = await value(dc, 'A * 65536 + X * 256 + Y');
        // Back to the start through the history and forward again: the same
        // state, with no key played twice.
        await stopsAt(dc, dc.reverseContinueRequest({ threadId: 1 }), 'step', 6);
        await dc.setBreakpointsRequest({ source: { path: game }, breakpoints: [{ line: 30 }] });
        await stopsAt(dc, dc.continueRequest({ threadId: 1 }), 'breakpoint', 30);
        assert.equal(await value(dc, '[$51]'), '4 ($4)');
        assert.equal(await value(dc, '[$50]'), score);
        await dc.setBreakpointsRequest({ source: { path: game }, breakpoints: [] });
        await stopsAt(dc, dc.continueRequest({ threadId: 1 }), 'end', 67);
        assert.equal(await value(dc, 'A * 65536 + X * 256 + Y'), end);
    } finally {
        await dc.stop();
    }

    const bad = new DebugClient(debugBin, '--dap', 'zorvik', { cwd: work, env: { ...process.env, SDL_VIDEODRIVER: 'dummy' } });
    bad.defaultTimeout = 10000;
    await bad.start();
    try {
        await bad.initializeRequest();
        await assert.rejects(bad.launch({ program: game, keys: '5:nokey:down' }), /bad 'keys', line 1: .*no key is named 'nokey'/);
        await assert.rejects(bad.launch({ program: game, seed: -1 }), /'seed' must be a whole number/);
        await assert.rejects(bad.launch({ program: game, inputText: 7 }), /'inputText' must be the text/);
    } finally {
        await bad.stop();
    }
});
