; Running light for the PIC16F84A: eight LEDs on PORTB light one after the
; other, back and forth, with a 4 MHz crystal. The step time (in 10 ms units)
; is read from EEPROM address 0, so it can be changed in the data memory
; window without assembling again.
        processor 16f84a
        #include <p16f84a.inc>

        __config _XT_OSC & _WDT_OFF & _PWRTE_ON & _CP_OFF
        __idlocs 0x84A1

        cblock 0x0C
        pattern, steps, outer, inner
        endc

        org     0x000
        goto    start
        org     0x004
        retfie

start:  bsf     STATUS, RP0
        clrf    TRISB           ; PORTB all outputs
        bcf     STATUS, RP0
        movlw   b'00000001'
        movwf   pattern

left:   call    show
        bcf     STATUS, C
        rlf     pattern, f
        btfss   pattern, 7
        goto    left
right:  call    show
        bcf     STATUS, C
        rrf     pattern, f
        btfss   pattern, 0
        goto    right
        goto    left

show:   movf    pattern, w
        movwf   PORTB
        clrf    EEADR           ; step time from EEPROM address 0
        bsf     STATUS, RP0
        bsf     EECON1, RD
        bcf     STATUS, RP0
        movf    EEDATA, w
        movwf   steps
wait:   call    delay10
        decfsz  steps, f
        goto    wait
        return

; About 10 ms at 1 us per instruction.
delay10:
        movlw   d'13'
        movwf   outer
w1:     movlw   d'255'
        movwf   inner
w2:     decfsz  inner, f
        goto    w2
        decfsz  outer, f
        goto    w1
        return

        org     0x2100
        de      d'8'            ; 80 ms per step
        de      "Ferrolux runlight", 0
        end
