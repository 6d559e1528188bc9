" Zorvik VM programs.
autocmd BufRead,BufNewFile *.zvs setfiletype zorvik
