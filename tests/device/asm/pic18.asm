; Test program for the PIC18 chips: code in several write buffers (and, on
; the 18F452, in every 8 KB panel), ID locations, configuration bytes and
; EEPROM data.
        include <p18cxxx.inc>
#ifdef __18F452
        CONFIG  OSC = HS, WDT = OFF, LVP = OFF, PWRT = ON
#endif
#ifdef __18F1320
        CONFIG  OSC = HS, WDT = OFF, LVP = OFF, PWRT = ON
#endif
#ifdef __18F2550
        CONFIG  FOSC = HS, WDT = OFF, LVP = OFF, PWRT = ON, PBADEN = OFF
#endif
#ifdef __18F4620
        CONFIG  OSC = HS, WDT = OFF, LVP = OFF, PWRT = ON, XINST = OFF
#endif
        org     0x200000
        db      0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF

        org     0
start   movlw   0x55
        movwf   0x10, A
loop    decfsz  0x10, F, A
        bra     loop
        goto    far
        data    "Ferrolux PIC18 test program"

        org     0x0FF0
far     clrf    0x11, A
        incf    0x11, F, A
        goto    start
#ifdef BIG
        org     0x2002
        data    0x1234, 0x5678
        org     0x4100
        data    0x9ABC
        org     0x6FFE
        data    0xDEF0
#endif
        org     0xF00000
        de      "EEPROM", 0x12, 0x34
        end
