; Test program for today's mid-range chips, assembled with -p <chip>:
; a short loop, ID locations, the configuration word(s) and, where the chip
; has data memory (-D EEPROM), some EEPROM bytes. -D CONFIG2 adds the second
; configuration word at 0x2008.
        __idlocs 0x1A2F
        __config 0x2007, CONFIG1
        ifdef   CONFIG2
        __config 0x2008, CONFIG2
        endif

        org     0
start   movlw   0x55
        movwf   0x20
        decfsz  0x20, f
        goto    $-1
        clrw
        goto    start
        dt      "Ferrolux", 0

        org     0x200
        retlw   0x3C
        retlw   0xC3

        ifdef   EEPROM
        org     0x2100
        de      "EEPROM", 0x12, 0x34
        endif
        end
