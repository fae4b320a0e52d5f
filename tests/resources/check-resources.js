#!/usr/bin/env node
// Checks the HTML resource folder against what the program does with it:
// the three injected text files survive having their line breaks removed,
// the mark-up carries the ids the program looks up, the start page shows only
// its loading state as written, and every image is a whole GIF or PNG.
// Usage: check-resources.js <source folder>
'use strict';

const fs = require('fs');
const os = require('os');
const path = require('path');
const vm = require('vm');
const { spawnSync } = require('child_process');

const root = process.argv[2];
if (!root) {
    console.error('usage: check-resources.js <source folder>');
    process.exit(2);
}
const html = path.join(root, 'HTML');
const failures = [];
const fail = (where, what) => failures.push(`${where}: ${what}`);
const read = (name) => fs.readFileSync(path.join(html, name), 'latin1');

// The program's reader: lines without their terminators, joined with nothing between them.
const splitLines = (text) => text.split(/\r\n|\n|\r/);
const joinLines = (text) => splitLines(text).join('');

// A line break is only safe to drop where the characters on either side stay
// apart anyway: after a tag, a block, a declaration or a list separator, or
// before a tag. Anything else would glue two words, selectors or attributes.
function gluedBreaks(name) {
    const lines = splitLines(read(name));
    const found = [];
    let joined = '';
    lines.forEach((line, i) => {
        if (i > 0 && joined.length > 0 && line.length > 0) {
            const before = joined[joined.length - 1];
            const after = line[0];
            const endsComment = joined.endsWith('*/') || joined.endsWith('-->');
            const safe = /\s/.test(before) || /\s/.test(after) || '>{};,'.includes(before) ||
                after === '<' || after === '}' || endsComment;
            if (!safe) found.push(`line ${i + 1} is glued to the line before ("${before}${after}")`);
        }
        joined += line;
    });
    return found;
}

// A small tag scanner: enough for mark-up we write ourselves.
function scanTags(text) {
    const tags = [];
    const re = /<!--[\s\S]*?-->|<(\/?)([a-zA-Z][a-zA-Z0-9]*)((?:[^>"']|"[^"]*"|'[^']*')*?)(\/?)>/g;
    let m;
    while ((m = re.exec(text)) !== null) {
        if (m[0].startsWith('<!--')) continue;
        const attrs = {};
        const attrRe = /([a-zA-Z_:][-a-zA-Z0-9_:.]*)(?:\s*=\s*("([^"]*)"|'([^']*)'|[^\s"'>]+))?/g;
        let a;
        while ((a = attrRe.exec(m[3])) !== null) {
            attrs[a[1].toLowerCase()] = a[3] ?? a[4] ?? a[2] ?? '';
        }
        tags.push({ close: m[1] === '/', name: m[2].toLowerCase(), attrs, selfClose: m[4] === '/',
            start: m.index, end: m.index + m[0].length });
    }
    return tags;
}

const voidTags = new Set(['br', 'img', 'input', 'meta', 'link', 'param', 'embed', 'hr', 'source']);

// Element with its tag, attributes and text content, found by id.
function elementsById(text) {
    const tags = scanTags(text);
    const byId = new Map();
    const stack = [];
    for (const tag of tags) {
        if (tag.close) {
            for (let i = stack.length - 1; i >= 0; i--) {
                if (stack[i].name === tag.name) {
                    stack[i].inner = text.slice(stack[i].end, tag.start);
                    stack[i].parents = stack.slice(0, i).map((t) => t.attrs.id).filter(Boolean);
                    stack.length = i;
                    break;
                }
            }
        } else if (!tag.selfClose && !voidTags.has(tag.name)) {
            stack.push(tag);
        }
        if (!tag.close && tag.attrs.id !== undefined) {
            if (byId.has(tag.attrs.id)) tag.duplicate = true;
            byId.set(tag.attrs.id, tag);
        }
    }
    return byId;
}

const textOf = (markup) => markup.replace(/<[^>]*>/g, '').replace(/\s+/g, ' ').trim();

function checkScript() {
    const joined = joinLines(read('Script.js'));
    const file = path.join(fs.mkdtempSync(path.join(os.tmpdir(), 'wg-script-')), 'joined.js');
    fs.writeFileSync(file, joined);
    const syntax = spawnSync(process.execPath, ['--check', file], { encoding: 'utf8' });
    if (syntax.status !== 0) fail('Script.js', `not valid once joined:\n${syntax.stderr}`);
    // A line comment would swallow the rest of the joined file, even where it still parses.
    const code = joined.replace(/\/\*[\s\S]*?\*\//g, '').replace(/'(?:\\.|[^'\\])*'|"(?:\\.|[^"\\])*"/g, '""');
    if (code.includes('//')) fail('Script.js', 'has a line comment');
    return joined;
}

// Runs the joined script in fake pages: it must not throw whatever the page
// lacks, and it must leave the site's window.open and the site's ids alone.
function runScript(joined) {
    const fakePage = (elements, withObserver) => {
        const timers = [];
        const root = elements.find((e) => e.id === 'whirligig');
        if (root) root.querySelector = (selector) => elements.find((e) => `#${e.id}` === selector) || null;
        const document = {
            documentElement: { nodeType: 1 },
            getElementById: (id) => elements.find((e) => e.id === id) || null,
            querySelectorAll: (selector) => (selector === 'body > #whirligig' && root ? [root] : []),
            createElement: () => ({ appendChild() {}, style: {} }),
            createTextNode: (t) => ({ t }),
            addEventListener() {},
        };
        const window = {
            document,
            open: () => 'a window',
            setTimeout: (fn) => timers.push(fn),
            setInterval: () => 1,
            clearInterval() {},
        };
        if (withObserver) {
            window.MutationObserver = class {
                observe() {}
                disconnect() {}
            };
        }
        window.window = window;
        return { window, timers };
    };
    const cases = [
        { name: 'an empty page', elements: [], observer: false },
        { name: 'an empty page with MutationObserver', elements: [], observer: true },
        { name: 'a site that uses the ids "content" and "butRec"', observer: true,
            elements: [{ id: 'content' }, { id: 'butRec' }] },
        { name: 'a chat screen with nothing but its record button', observer: true, elements: [
            { id: 'whirligig' },
            { id: 'butRec', getElementsByTagName: () => [], setAttribute() {}, removeAttribute() {} },
        ] },
    ];
    for (const c of cases) {
        const page = fakePage(c.elements, c.observer);
        page.ids = c.elements.map((e) => e.id).join(', ');
        try {
            vm.runInNewContext(joined, page.window, { timeout: 2000 });
            for (let i = 0; i < 5 && page.timers.length; i++) page.timers.shift()();
            if (!page.window.whirligig) fail('Script.js', `defines no whirligig object on ${c.name}`);
            if (page.window.open() !== 'a window') fail('Script.js', `replaces window.open on ${c.name}`);
            if (page.window.whirligig && page.window.whirligig.startError) {
                fail('Script.js', `fails to start on ${c.name}: ${page.window.whirligig.startError}`);
            }
            const ids = c.elements.map((e) => e.id).join(', ');
            if (ids !== page.ids) fail('Script.js', `changes ids on ${c.name}: ${page.ids} became ${ids}`);
        } catch (e) {
            fail('Script.js', `throws on ${c.name}: ${e}`);
        }
    }
}

function checkStyle() {
    gluedBreaks('Style.css').forEach((f) => fail('Style.css', f));
    const css = joinLines(read('Style.css')).replace(/\/\*[\s\S]*?\*\//g, '');
    const rule = /(?:^|})\s*html\s*,\s*body\s*\{([^}]*)\}/.exec(css);
    if (!rule) {
        fail('Style.css', 'has no "html, body" rule');
    } else {
        for (const decl of [/height:\s*100%/, /margin:\s*0/, /padding:\s*0/]) {
            if (!decl.test(rule[1])) fail('Style.css', `"html, body" lacks ${decl.source}`);
        }
    }
    if (/url\(/.test(css)) fail('Style.css', 'uses url(): a relative image cannot load on the site');
}

function checkBody() {
    gluedBreaks('Body.html').forEach((f) => fail('Body.html', f));
    const text = joinLines(read('Body.html'));
    for (const p of ['%name%', '%movie%', '%flashvars%']) {
        if (!text.includes(p)) fail('Body.html', `lacks the placeholder ${p}`);
    }
    const els = elementsById(text);
    const wanted = [
        ['butRec', 'span'], ['butShare', 'span'], ['ShareThis', null], ['content', 'div'],
        ['cam', 'div'], ['log', 'div'], ['chatarea', 'div'], ['topbar', 'div'], ['load_msg', 'div'],
        ['facebook', null], ['twitter', null], ['bebo', null], ['myspace', null], ['gmail', null],
        ['yahoo', null], ['hotmail', null], ['aol', null],
    ];
    for (const [id, tag] of wanted) {
        const el = els.get(id);
        if (!el) fail('Body.html', `lacks id "${id}"`);
        else if (tag && el.name !== tag) fail('Body.html', `"${id}" is a ${el.name}, not a ${tag}`);
    }
    for (const [id, el] of els) if (el.duplicate) fail('Body.html', `id "${id}" occurs twice`);
    for (const id of ['butRec', 'butShare']) {
        const el = els.get(id);
        if (el && el.attrs.class !== 'button_im') fail('Body.html', `"${id}" is not of class button_im`);
    }
    for (const id of ['cam', 'log', 'chatarea']) {
        const el = els.get(id);
        if (el && !el.parents.includes('content')) fail('Body.html', `"${id}" is not inside "content"`);
    }
    const panel = els.get('ShareThis');
    if (panel && !panel.parents.includes('butShare')) fail('Body.html', '"ShareThis" is not inside "butShare"');
    // A tooltip of the button, or of anything in it, would cover the panel while the pointer rests there.
    const share = els.get('butShare');
    if (share) {
        const titled = [share, ...scanTags(share.inner || '')].filter((t) => !t.close && 'title' in t.attrs);
        if (titled.length) fail('Body.html', `"butShare" or an element in it has a title (a tooltip over the panel)`);
    }

    // The record button: one caption SPAN reading "Record"; no other SPAN reads a caption.
    const rec = els.get('butRec');
    if (rec && rec.inner !== undefined) {
        const spans = [];
        const tags = scanTags(rec.inner);
        const open = [];
        for (const t of tags) {
            if (t.name !== 'span') continue;
            if (!t.close) open.push(t);
            else {
                const s = open.pop();
                if (s) spans.push(textOf(rec.inner.slice(s.end, t.start)));
            }
        }
        const captions = spans.filter((s) => s === 'Record').length;
        if (captions !== 1) fail('Body.html', `butRec holds ${captions} SPANs reading "Record", not 1`);
        if (spans.includes('Stop Rec')) fail('Body.html', 'butRec holds a SPAN reading "Stop Rec"');
    }
    const classes = new Set(scanTags(text).filter((t) => t.name === 'div').map((t) => t.attrs.class));
    for (const c of ['module-round', 'module-round2', 'module-round3', 'module-round4']) {
        if (!classes.has(c)) fail('Body.html', `no DIV has the class "${c}" alone`);
    }
}

function checkDialog() {
    const text = read('Dialog.html');
    const els = elementsById(text);
    const states = ['loading', 'noflash', 'nowebcam', 'mustupdate', 'error', 'update', 'levelcleared'];
    for (const id of states) {
        const el = els.get(id);
        if (!el) {
            fail('Dialog.html', `lacks the state "${id}"`);
            continue;
        }
        const display = /display\s*:\s*(\w+)/.exec(el.attrs.style || '');
        const shown = id === 'loading' ? 'block' : 'none';
        if (!display || display[1] !== shown) {
            fail('Dialog.html', `"${id}" must carry an inline display: ${shown}`);
        }
    }
    const buttons = [['butRetry', 'error'], ['butCancel', 'error'], ['butCancelUpdate', 'update']];
    for (const [id, state] of buttons) {
        const el = els.get(id);
        if (!el) fail('Dialog.html', `lacks the button "${id}"`);
        else if (el.name !== 'span') fail('Dialog.html', `"${id}" is a ${el.name}, not a span`);
        else if (!el.parents.includes(state)) fail('Dialog.html', `"${id}" is not inside "${state}"`);
    }
    // The program stops when this marker is still there after loading.
    if (els.has('java')) fail('Dialog.html', 'carries the blocking marker "java"');
    for (const [id, el] of els) if (el.duplicate) fail('Dialog.html', `id "${id}" occurs twice`);
    // The page stays loaded behind the chat for the whole session.
    if (/animation[^;}]*infinite/.test(text)) fail('Dialog.html', 'has an endless animation');
    for (const t of scanTags(text)) {
        for (const attr of ['src', 'href']) {
            if (/^[a-z]+:/i.test(t.attrs[attr] || '')) {
                fail('Dialog.html', `<${t.name}> loads "${t.attrs[attr]}" from outside the folder`);
            }
        }
    }
}

// Width and height from the header, or an error text.
function imageSize(file) {
    const data = fs.readFileSync(file);
    const ext = path.extname(file);
    if (ext === '.gif') {
        const head = data.toString('latin1', 0, 6);
        if (head !== 'GIF87a' && head !== 'GIF89a') return 'is not a GIF';
        if (data[data.length - 1] !== 0x3b) return 'is cut short (no GIF trailer)';
        return { w: data.readUInt16LE(6), h: data.readUInt16LE(8), bytes: data.length };
    }
    const sig = Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]);
    if (!data.subarray(0, 8).equals(sig) || data.toString('latin1', 12, 16) !== 'IHDR') return 'is not a PNG';
    if (data.toString('latin1', data.length - 8, data.length - 4) !== 'IEND') return 'is cut short (no IEND)';
    return { w: data.readUInt32BE(16), h: data.readUInt32BE(20), alpha: data[25] === 6, bytes: data.length };
}

function checkImages() {
    const share = ['facebook', 'twitter', 'bebo', 'myspace', 'gmail', 'yahoo', 'hotmail', 'aol'];
    // [file, exact width or 0, exact height or 0, needs an alpha channel]
    const images = [
        ['HTML/Img/bg.gif', 0, 0], ['HTML/Img/im_button.gif', 0, 32], ['HTML/Img/logo.gif', 0, 0],
        ['HTML/Img/tl.gif', 8, 8], ['HTML/Img/tr.gif', 8, 8], ['HTML/Img/bl.gif', 8, 8],
        ['HTML/Img/br.gif', 8, 8], ['HTML/Img/trans.png', 0, 0, true],
        ...share.map((n) => [`HTML/Img/${n}.gif`, 16, 16]),
        ['icons/whirligigcam-16.png', 16, 16, true], ['icons/whirligigcam-32.png', 32, 32, true],
        ['icons/whirligigcam-48.png', 48, 48, true],
    ];
    for (const [name, w, h, alpha] of images) {
        const file = path.join(root, name);
        if (!fs.existsSync(file)) {
            fail(name, 'is missing');
            continue;
        }
        const size = imageSize(file);
        if (typeof size === 'string') fail(name, size);
        else if ((w && size.w !== w) || (h && size.h !== h)) fail(name, `is ${size.w}x${size.h}`);
        else if (size.w < 1 || size.h < 1 || size.w > 512 || size.h > 512 || size.bytes > 65536) {
            fail(name, `has an odd size: ${size.w}x${size.h}, ${size.bytes} bytes`);
        } else if (alpha && !size.alpha) fail(name, 'has no alpha channel');
    }
}

const steps = [
    ['Script.js', () => runScript(checkScript())],
    ['Style.css', checkStyle],
    ['Body.html', checkBody],
    ['Dialog.html', checkDialog],
    ['images', checkImages],
];
for (const [name, step] of steps) {
    try {
        step();
    } catch (e) {
        fail(name, `could not be checked: ${e.message}`);
    }
}
if (failures.length) {
    console.error(failures.join('\n'));
    console.error(`${failures.length} problem(s) in the resource folder`);
    process.exit(1);
}
console.log('HTML resources: all checks passed');
