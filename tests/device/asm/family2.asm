; Test program for the 16f877: a short loop, ID locations and EEPROM data.
        list    p=16f877
        include <p16f877.inc>
        __config _CP_OFF & _WDT_OFF & _PWRTE_ON & _HS_OSC & _LVP_OFF
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
