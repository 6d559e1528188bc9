" Colours for Zorvik VM programs: mnemonics, '#' and '$' numbers, bare
" numbers, strings, comments and the words at the start of a line. What a
" token means is the machine's to say; zorvik-lsp and zorvik-check tell.
if exists("b:current_syntax")
  finish
endif

syntax case ignore
syntax keyword zorvikMnemonic adc and asl bcc bcs beq bit bmi bne bpl brk bvc bvs clc cld
syntax keyword zorvikMnemonic cli clv cmp cpx cpy dec dex dey eor inc int inx iny jmp jsr
syntax keyword zorvikMnemonic lda ldm ldx ldy lsr nop ora pha php pla plp rol ror rti rts
syntax keyword zorvikMnemonic sbc sec sed sei sta stx sty tax tay tsx txa txs tya
syntax case match

" A word is letters only and a number digits only, as the machine reads them:
" loop1 is the word loop and the number 1.
syntax match zorvikLabel /^[A-Za-z]\+/
syntax match zorvikNumber /[0-9]\+/
syntax match zorvikAddress /\$[0-9A-Za-z]*/
syntax match zorvikImmediate /#\$\?[0-9A-Za-z]*/
syntax region zorvikString start=/"/ end=/"/ oneline
syntax region zorvikString start=/'/ end=/'/ oneline
syntax match zorvikHeader /^\s*\*=/
syntax match zorvikComment /;.*$/

highlight default link zorvikMnemonic Statement
highlight default link zorvikLabel Label
highlight default link zorvikNumber Number
highlight default link zorvikAddress Identifier
highlight default link zorvikImmediate Constant
highlight default link zorvikString String
highlight default link zorvikHeader PreProc
highlight default link zorvikComment Comment

let b:current_syntax = "zorvik"
