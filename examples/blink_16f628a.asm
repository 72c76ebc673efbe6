; LED blinker for the PIC16F628A: an LED on RB0 (through 330 ohms to ground)
; flashes about twice a second on the internal 4 MHz oscillator. The EEPROM
; holds a greeting and the blink count, which the program does not need but a
; data memory window shows.
        processor 16f628a
        #include <p16f628a.inc>

        __config _INTOSC_OSC_NOCLKOUT & _WDT_OFF & _PWRTE_ON & _MCLRE_ON & _BOREN_ON & _LVP_OFF & _CP_OFF
        __idlocs 0x1A2F

        cblock 0x20
        outer, inner, ticks
        endc

        org     0x000
        goto    start
        org     0x004
        retfie

start:  movlw   0x07
        movwf   CMCON           ; comparators off: PORTA digital
        bsf     STATUS, RP0
        movlw   b'11111110'     ; RB0 output
        movwf   TRISB
        bcf     STATUS, RP0
        clrf    PORTB

loop:   movlw   b'00000001'
        xorwf   PORTB, f        ; toggle the LED
        call    delay250
        goto    loop

; About 250 ms at 1 us per instruction.
delay250:
        movlw   d'250'
        movwf   outer
d1:     movlw   d'249'
        movwf   inner
d2:     nop
        decfsz  inner, f
        goto    d2
        decfsz  outer, f
        goto    d1
        return

        org     0x2100
        de      "Ferrolux", 0
        de      0x02            ; blinks per second
        end
