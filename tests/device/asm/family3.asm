; Test program for the 16f73: a short loop, ID locations.
        list    p=16f73
        include <p16f73.inc>
        __config _CP_OFF & _WDT_OFF & _PWRTE_ON & _HS_OSC
        __idlocs 0x1A2F

        org     0
start   movlw   0x55
        movwf   0x10
        decfsz  0x10, f
        goto    $-1
        clrw
        goto    start
        dt      "Ferrolux", 0
        end
