" zorvik-check: the machine's traps as a quickfix list, at their lines and
" byte columns; a note points at the place that explains its warning.
if exists("current_compiler")
  finish
endif
let current_compiler = "zorvik-check"

CompilerSet makeprg=zorvik-check\ --no-caret\ %:S
CompilerSet errorformat=%f:%l:%c:\ %tarning:\ %m,%f:%l:%c:\ %trror:\ %m,%f:%l:%c:\ %tote:\ %m,%-G%.%#
