; Test programs for the 12-bit flash chips, assembled once per chip with -p.
; With -D SECOND it is another program, which also fills the last code word,
; where most of these chips keep their calibration.
        ifdef __12F508
LAST    equ     0x1FF
CFGWORD equ     0xFEA           ; internal RC, MCLR off, no WDT, no protection
        endif
        ifdef __12F509
LAST    equ     0x3FF
CFGWORD equ     0xFEA
        endif
        ifdef __16F54
LAST    equ     0x1FF
CFGWORD equ     0xFF9           ; XT, no WDT, no protection
        endif
        ifdef __16F57
LAST    equ     0x7FF
CFGWORD equ     0xFF9
        endif
        ifdef __10F200
LAST    equ     0x0FF
CFGWORD equ     0xFE8           ; bits 1:0 as 0: the programmer writes them as 1
        endif
        ifdef __10F202
LAST    equ     0x1FF
CFGWORD equ     0xFE8
        endif
        ifdef __10F204
LAST    equ     0x0FF
CFGWORD equ     0xFE8
        endif
        ifdef __10F206
LAST    equ     0x1FF
CFGWORD equ     0xFE8
        endif
        __config CFGWORD

        ifndef SECOND
        __idlocs 0x1A2F
        org     0
start   movlw   0x55
        movwf   0x10
        decfsz  0x10, f
        goto    $-1
        clrw
        goto    start
        dt      "Ferrolux", 0
        else
        __idlocs 0x3B4C
        org     0
start   movlw   0xAA
        movwf   0x11
        incf    0x11, f
        goto    start
        dt      "second", 0
        org     LAST
        movlw   0x33
        endif
        end
