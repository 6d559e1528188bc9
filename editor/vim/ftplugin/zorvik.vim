" Zorvik VM programs: ';' comments, words for labels, and :make runs
" zorvik-check on the file.
if exists("b:did_ftplugin")
  finish
endif
let b:did_ftplugin = 1

setlocal comments=:; commentstring=;\ %s
setlocal iskeyword=@,48-57,_
compiler zorvik-check

let b:undo_ftplugin = "setlocal comments< commentstring< iskeyword< makeprg< errorformat<"
