" The vim files in real vim (vim -Nu NONE -es -S test.vim): :make fills the
" quickfix list with zorvik-check's places, and the syntax groups fall on
" the tokens they colour. ZORVIK_SOURCE_DIR and ZORVIK_CHECK_DIR come from
" the test's environment.
let s:root = $ZORVIK_SOURCE_DIR
let $PATH = $ZORVIK_CHECK_DIR . ':' . $PATH
execute 'set runtimepath^=' . fnameescape(s:root . '/editor/vim')
filetype plugin on
syntax on

let s:trap = s:root . '/docs/examples/first_spelling.zvs'
execute 'edit ' . fnameescape(s:trap)
call assert_equal('zorvik', &filetype)
call assert_equal(';%s', substitute(&commentstring, ' ', '', 'g'))

silent make!
let s:want = []
for s:line in systemlist('zorvik-check --no-caret ' . shellescape(s:trap))
  let s:m = matchlist(s:line, '^[^:]*:\(\d\+\):\(\d\+\): \(warning\|note\): \(.*\)$')
  call add(s:want, [str2nr(s:m[1]), str2nr(s:m[2]), s:m[3][0], s:m[4]])
endfor
call assert_true(len(s:want) >= 2)
call assert_equal(s:want, map(getqflist(), '[v:val.lnum, v:val.col, v:val.type, v:val.text]'))

" Line 2 '        lda #65', line 3 '        sta $41          ; ...'.
function! s:group(line, col) abort
  return synIDattr(synID(a:line, a:col, 1), 'name')
endfunction
call assert_equal('zorvikComment', s:group(1, 1))
call assert_equal('zorvikMnemonic', s:group(2, 9))
call assert_equal('zorvikImmediate', s:group(2, 13))
call assert_equal('zorvikAddress', s:group(3, 13))
call assert_equal('zorvikComment', s:group(3, 26))

edit! ++ff=unix
enew!
call setline(1, ['loop    LDA "it; is"', '        bne loop 7'])
set filetype=zorvik
call assert_equal('zorvikLabel', s:group(1, 1))
call assert_equal('zorvikMnemonic', s:group(1, 9))
call assert_equal('zorvikString', s:group(1, 16))
call assert_equal('zorvikNumber', s:group(2, 18))

" Words are letters only, as labels are: loop1 is the word loop, so * and
" word motions agree with the machine.
call setline(3, 'loop1_x')
call cursor(3, 1)
call assert_equal('loop', expand('<cword>'))
call assert_equal('zorvikLabel', s:group(3, 4))
call assert_equal('zorvikNumber', s:group(3, 5))

if len(v:errors)
  call writefile(v:errors, '/dev/stderr')
  cquit!
endif
qall!
