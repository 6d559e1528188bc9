#!/usr/bin/env bash
# Builds the machine's web page into build/web/, installing what is missing:
#   web/build.sh
# The machine, its debugger and its language server are the project's own
# C++ sources, compiled to WebAssembly by emscripten; the editor is bundled
# from npm by esbuild. The font and the icon come from the native build's
# run folder.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/setup.sh"

zorvik_install "${ZORVIK_PACKAGES[@]}" emscripten
zorvik_build "$ZORVIK_ROOT/build/release" Release -DZORVIK_TESTS=OFF
web="$ZORVIK_ROOT/web"
out="$ZORVIK_ROOT/build/web"
obj="$ZORVIK_ROOT/build/web-obj"
mkdir -p "$out" "$obj/machine" "$obj/lsp" "$obj/debug" "$obj/include"
# The debugger's JSON library, and nothing else of the system's headers.
ln -sfn /usr/include/nlohmann "$obj/include/nlohmann"

# True when OUTPUT is missing or older than any of the INPUTS (files or
# folders, searched whole).
stale() {
    local output="$1"
    shift
    [ ! -e "$output" ] || [ -n "$(find "$@" -newer "$output" -print -quit)" ]
}

zorvik_npm "$web"

# Debian's emcc finds its JavaScript modules only through NODE_PATH. Its
# clang also warns of char subscripts, which index the lexer's byte tables
# on purpose.
export NODE_PATH=/usr/share/nodejs
core=(display datadir lex position symtab icode listing machine parse decode arith stack services
      screen pixelbuffer mxfont debug halt main layout keynames random)
flags=(-std=c++20 -Wall -Wextra -Wno-char-subscripts -I"$ZORVIK_ROOT/src" -I"$ZORVIK_ROOT/check" -I"$ZORVIK_ROOT/lsp" -I"$web"
       -I"$ZORVIK_ROOT/debugger" -I"$ZORVIK_ROOT/capture" -isystem "$obj/include")

# Compiles SOURCE into DIR when the object is older than the sources; the
# machine's objects carry the page's give-way point (yield.h), the
# debugger's are the engine that a debugger drives, and the language
# server's are small. Only the server's dispatcher (server_handle) catches
# the exceptions that answer a request with an error: catching nowhere else
# makes its module a quarter smaller, and costs only the memory of a failed
# request.
lsp_catch='-sEXCEPTION_CATCHING_ALLOWED=[_Z13server_handleRKNSt3__212basic_stringIcNS_11char_traitsIcEENS_9allocatorIcEEEE]'
compile() {
    local dir="$1" source="$2" object
    object="$dir/$(basename "$source" .cpp).o"
    if [ ! -e "$object" ] || [ -n "$(find "$ZORVIK_ROOT/src" "$ZORVIK_ROOT/check" "$ZORVIK_ROOT/debugger" "$ZORVIK_ROOT/capture" "$ZORVIK_ROOT/lsp" \
            "$ZORVIK_ROOT/build/release/lsp_manual.cpp" "$web"/*.cpp "$web"/*.h -name '*.[ch]*' -newer "$object" -print -quit)" ]; then
        local define=(-O2)
        [ "$dir" = "$obj/machine" ] && define=(-O3 -DZORVIK_WEB)
        [ "$dir" = "$obj/debug" ] && define=(-O3 -DZORVIK_WEB -DZORVIK_ENGINE)
        [ "$dir" = "$obj/lsp" ] && define=(-Os -fexceptions "$lsp_catch")
        echo "Compiling $(basename "$dir")/$(basename "$source")" >&2
        emcc "${flags[@]}" "${define[@]}" -c "$source" -o "$object"
    fi
}
export -f compile
export ZORVIK_ROOT web obj lsp_catch
export flags_string="${flags[*]}"
jobs=()
for f in "${core[@]}"; do
    jobs+=("$obj/machine $ZORVIK_ROOT/src/$f.cpp" "$obj/lsp $ZORVIK_ROOT/src/$f.cpp" "$obj/debug $ZORVIK_ROOT/src/$f.cpp")
done
for f in session history expr dap replay; do jobs+=("$obj/debug $ZORVIK_ROOT/debugger/$f.cpp"); done
for f in entry pace platform debugger; do jobs+=("$obj/debug $web/$f.cpp"); done
# Key scripts, read and played as zorvik-capture does.
jobs+=("$obj/machine $ZORVIK_ROOT/capture/keys.cpp" "$obj/debug $ZORVIK_ROOT/capture/keys.cpp")
for f in rpc text model server words numbers; do jobs+=("$obj/lsp $ZORVIK_ROOT/lsp/$f.cpp"); done
jobs+=("$obj/machine $web/entry.cpp" "$obj/machine $web/pace.cpp" "$obj/machine $web/platform.cpp"
       "$obj/lsp $ZORVIK_ROOT/check/rules.cpp" "$obj/lsp $ZORVIK_ROOT/check/paths.cpp" "$obj/lsp $ZORVIK_ROOT/build/release/lsp_manual.cpp" "$obj/lsp $web/lsp.cpp")
printf '%s\n' "${jobs[@]}" | xargs -P2 -L1 bash -c 'flags=($flags_string); compile "$0" "$1"'

# The machine: asynchronous where it waits for the page (a refresh, a
# console read, the pause and the regular give-way), nowhere else. -O3 makes
# its loop a seventh faster than -O2 does. A read reaches the page through
# WASI's fd_read, which must be named with its module to count.
stale "$out/machine.js" "$obj"/machine/*.o "$web/library.js" "$ZORVIK_ROOT/build/release/run/term.mxf" "$0" &&
echo "Linking the machine (machine.js)" >&2 &&
emcc -O3 "$obj"/machine/*.o -o "$out/machine.js" \
    -sASYNCIFY -sASYNCIFY_IMPORTS='["wasi_snapshot_preview1.fd_read","web_wait_frame","web_give_way"]' \
    -sMODULARIZE -sEXPORT_NAME=ZorvikMachine -sENVIRONMENT=web -sALLOW_MEMORY_GROWTH -sINITIAL_MEMORY=64MB \
    -sEXPORTED_FUNCTIONS='["_web_run","_web_set_keys","_web_received_keys","_web_stop","_web_key","_web_set_full_speed","_web_statements","_web_frames","_malloc","_free","_fflush"]' \
    -sEXPORTED_RUNTIME_METHODS='["ccall","FS","UTF8ToString"]' \
    --js-library "$web/library.js" \
    --embed-file "$ZORVIK_ROOT/build/release/run/term.mxf@/term.mxf"
# The debugger: the machine as the engine a debugger drives, with
# zorvik-debug's session, history, expressions and protocol, one request a
# call. Loaded when the page debugs. The history's watch on memory and the
# stacks never waits for the page (it only allocates), and saying so keeps
# Asyncify's bookkeeping out of the loop's writes and pushes.
stale "$out/debug.js" "$obj"/debug/*.o "$web/library.js" "$ZORVIK_ROOT/build/release/run/term.mxf" "$0" &&
echo "Linking the debugger (debug.js)" >&2 &&
emcc -O3 "$obj"/debug/*.o -o "$out/debug.js" \
    -sASYNCIFY -sASYNCIFY_IMPORTS='["wasi_snapshot_preview1.fd_read","web_wait_frame","web_give_way"]' \
    -sASYNCIFY_REMOVE='["mem_watch_write*","stack_watch_slot*"]' \
    -sMODULARIZE -sEXPORT_NAME=ZorvikDebug -sENVIRONMENT=web -sALLOW_MEMORY_GROWTH -sINITIAL_MEMORY=64MB \
    -sEXPORTED_FUNCTIONS='["_web_dap_start","_web_dap","_web_stop","_web_key","_web_set_full_speed","_malloc","_free","_fflush"]' \
    -sEXPORTED_RUNTIME_METHODS='["ccall","FS"]' \
    --js-library "$web/library.js" \
    --embed-file "$ZORVIK_ROOT/build/release/run/term.mxf@/term.mxf"
# The language server: zorvik-lsp's own server with the checker's rules, a
# message a call, run by the editor's Web Worker (lsp-worker.js). The words
# of its hovers are the manual's, as the native build writes them out.
stale "$out/lsp.js" "$obj"/lsp/*.o "$0" &&
echo "Linking the language server (lsp.js)" >&2 &&
emcc -Os -fexceptions "$lsp_catch" "$obj"/lsp/*.o -o "$out/lsp.js" \
    -sMODULARIZE -sEXPORT_NAME=ZorvikLsp -sENVIRONMENT=worker -sALLOW_MEMORY_GROWTH -sINITIAL_MEMORY=64MB \
    -sEXPORTED_FUNCTIONS='["_web_lsp_handle","_web_lsp_publish","_malloc","_free"]'
cp -u "$web/lsp-worker.js" "$out/"

# The machine's mnemonics, for the editor's colours, from its own table.
if stale "$obj/mnemonics.json" "$web/mnemonics.cpp" "$ZORVIK_ROOT/src/icode.cpp" "$ZORVIK_ROOT/src/icode.h"; then
    g++ -std=c++20 -Wall -Wextra -I"$ZORVIK_ROOT/src" "$web/mnemonics.cpp" "$ZORVIK_ROOT/src/icode.cpp" -o "$obj/mnemonics"
    "$obj/mnemonics" >"$obj/mnemonics.json"
fi

# The examples, snake first, for the page's menu.
if stale "$out/page.js" "$web"/*.js "$web"/*.json "$web/examples.mjs" "$web/fill.mjs" "$ZORVIK_ROOT/examples" "$obj/mnemonics.json"; then
    echo "Bundling the page (page.js)" >&2
    node "$web/examples.mjs" "$ZORVIK_ROOT/examples" "$obj/examples.json"
    "$web/node_modules/.bin/esbuild" "$web/page.js" --bundle --minify --format=iife \
        --alias:zorvik-examples="$obj/examples.json" --alias:zorvik-mnemonics="$obj/mnemonics.json" --outfile="$out/page.js" --log-level=warning
fi
cp -u "$web/index.html" "$web/page.css" "$web/manifest.webmanifest" "$out/"
cp -u "$ZORVIK_ROOT/build/release/run/icon.bmp" "$out/icon.bmp"
# The icon as PNG, for the player's tab and for installing the page as an app.
if stale "$out/icon-512.png" "$ZORVIK_ROOT/build/release/run/icon.bmp" "$web/icons.mjs"; then
    node "$web/icons.mjs" "$ZORVIK_ROOT/build/release/run/icon.bmp" "$out" 32 192 512
fi
# The player: one program, no editor, the machine inside the file. It is
# the template that Export and web/export.sh fill in, and, opened with a
# share link's fragment, the player that pages embed.
if stale "$obj/player.js" "$web"/*.js "$web"/*.json "$web/fill.mjs"; then
    echo "Bundling the player (player.html)" >&2
    "$web/node_modules/.bin/esbuild" "$web/player.js" --bundle --minify --format=iife --outfile="$obj/player.js" --log-level=warning
fi
if stale "$out/player.html" "$web/player.html" "$web/player.css" "$web/playerhtml.mjs" "$obj/player.js" "$out/machine.js" "$out/icon-32.png"; then
    node "$web/playerhtml.mjs" "$out/player.html" "$web/player.html" "$web/player.css" "$obj/player.js" "$out/machine.js" \
        "$out/machine.wasm" "$out/icon-32.png"
fi
# The manual, as HTML pages with their pictures, opened from the page's help.
if stale "$out/manual/index.html" "$ZORVIK_ROOT/docs" "$web/manual.mjs"; then
    echo "Rendering the manual" >&2
    rm -rf "$out/manual"
    node "$web/manual.mjs" "$ZORVIK_ROOT/docs" "$out/manual"
fi
# The service worker that keeps the page for visits without the network,
# its version a hash of every built file, so that a rebuilt page replaces
# the kept one. It is written only when it changes.
kept=(./ index.html page.js page.css machine.js machine.wasm debug.js debug.wasm lsp.js lsp.wasm lsp-worker.js icon.bmp
      icon-32.png icon-192.png icon-512.png manifest.webmanifest player.html)
version="$(cd "$out" && find . -type f ! -name sw.js -print0 | sort -z | xargs -0 sha256sum | sha256sum | cut -c1-16)"
list="$(printf "'%s', " "${kept[@]}")"
sed -e "s/zorvik-page-version/$version/" -e "s|^const FILES = .*|const FILES = [${list%, }];|" "$web/sw.js" >"$obj/sw.js"
cmp -s "$obj/sw.js" "$out/sw.js" || cp "$obj/sw.js" "$out/sw.js"
echo "The page is in $out" >&2
