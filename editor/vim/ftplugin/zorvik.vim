" Zorvik VM programs: ';' comments, words for labels, and :make runs
" zorvik-check on the file.
if exists("b:did_ftplugin")
  finish
endif
let b:did_ftplugin = 1

setlocal comments=:; commentstring=;\ %s
" A word is letters only: loop1 is the word loop and the number 1.
setlocal iskeyword=65-90,97-122
compiler zorvik-check

let b:undo_ftplugin = "setlocal comments< commentstring< iskeyword< makeprg< errorformat<"
