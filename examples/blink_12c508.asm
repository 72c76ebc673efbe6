; LED blinker for the PIC12C508 (12-bit core): an LED on GP0 flashes about
; once a second on the internal 4 MHz oscillator. The chip has no data memory;
; its calibration value in the last code word is kept by the programmer.
        processor 12c508
        #include <p12c508.inc>

        __config _IntRC_OSC & _WDT_OFF & _CP_OFF & _MCLRE_ON
        __idlocs 0x0C58

        cblock 0x07
        outer, inner, count
        endc

        org     0x000
        movwf   OSCCAL          ; the factory calibration arrives in W
        movlw   b'11111110'     ; GP0 output
        tris    GPIO
        clrf    GPIO

loop:   movlw   b'00000001'
        xorwf   GPIO, f
        movlw   d'2'
        movwf   count
again:  call    delay250
        decfsz  count, f
        goto    again
        goto    loop

; About 250 ms at 1 us per instruction (a call may only reach the first 256 words).
delay250:
        movlw   d'250'
        movwf   outer
d1:     movlw   d'248'
        movwf   inner
d2:     nop
        decfsz  inner, f
        goto    d2
        decfsz  outer, f
        goto    d1
        retlw   0
        end
