; Test program for the 12c508: a short loop, ID locations.
        list    p=12c508
        include <p12c508.inc>
        __config _CP_OFF & _WDT_OFF & _IntRC_OSC & _MCLRE_OFF
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
