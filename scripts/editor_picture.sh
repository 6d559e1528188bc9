#!/usr/bin/env bash
# Draws docs/pictures/editors.png: Debian's Neovim, set up as docs/editors.md
# says, on docs/examples/first_spelling.zvs, once with the warning of line 4
# open and once with the hover on its '#41'. Runs in a virtual X display.
#   scripts/editor_picture.sh
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
zorvik_install "${ZORVIK_PACKAGES[@]}" neovim xvfb xterm xdotool imagemagick xfonts-base
zorvik_build "$ZORVIK_ROOT/build/release" Release -DZORVIK_TESTS=OFF
work="$(mktemp -d)"
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$work"' EXIT
mkdir "$work/bin"
ln -s "$ZORVIK_ROOT/build/release/zorvik-lsp" "$work/bin/zorvik-lsp"
cp "$ZORVIK_ROOT/docs/examples/first_spelling.zvs" "$work/"
cat > "$work/init.lua" <<LUA
vim.opt.runtimepath:append('$ZORVIK_ROOT/editor/vim')
vim.api.nvim_create_autocmd('FileType', {
  pattern = 'zorvik',
  callback = function(args)
    local client = vim.lsp.start_client({name = 'zorvik-lsp', cmd = {'zorvik-lsp'},
                                         root_dir = vim.fn.getcwd()})
    vim.lsp.buf_attach_client(args.buf, client)
  end,
})
vim.keymap.set('n', 'K', vim.lsp.buf.hover)
vim.keymap.set('n', 'gl', vim.diagnostic.open_float)
-- Looks: colours, borders, whole words in the floats.
vim.cmd('syntax on')
vim.opt.number = true
vim.opt.termguicolors = true
vim.opt.linebreak = true
vim.opt.laststatus = 0
vim.lsp.handlers['textDocument/hover'] = vim.lsp.with(vim.lsp.handlers.hover, {border = 'rounded', max_width = 90})
vim.diagnostic.config({virtual_text = false, float = {border = 'rounded', max_width = 90}})
vim.cmd('highlight NormalFloat guibg=#252526 guifg=#d4d4d4')
vim.cmd('highlight FloatBorder guibg=#252526 guifg=#808080')
LUA

export DISPLAY=:79 PATH="$work/bin:$PATH"
Xvfb "$DISPLAY" -screen 0 1000x250x24 >/dev/null 2>&1 &
sleep 1
# shot KEYS PNG: opens the program, puts the cursor on line 4's '41', types
# the keys and takes the screen.
shot() {
    (cd "$work" && xterm -geometry 110x12+0+0 -fa Monospace -fs 11 -bg '#1e1e1e' -fg '#d4d4d4' \
        -e nvim -u init.lua first_spelling.zvs) &
    local term=$!
    sleep 3
    xdotool type --delay 30 '4G15|'
    sleep 1
    xdotool type --delay 30 "$1"
    sleep 1.5
    import -window root "$2"
    kill "$term"
    wait "$term" 2>/dev/null || true
}
shot gl "$work/warning.png"
shot K "$work/hover.png"
convert "$work/warning.png" "$work/hover.png" -append "$ZORVIK_ROOT/docs/pictures/editors.png"
echo "docs/pictures/editors.png"
