; Test program for the 16f84a: a short loop, ID locations and EEPROM data.
        list    p=16f84a
        include <p16f84a.inc>
        __config _CP_OFF & _WDT_OFF & _PWRTE_ON & _XT_OSC
        __idlocs 0x1A2F

        org     0
start   movlw   0x55
        movwf   0x10
        decfsz  0x10, f
        goto    $-1
        clrw
        goto    start
        dt      "Ferrolux", 0

        org     0x2100
        de      "EEPROM", 0x12, 0x34
        end
