; MSX-DOS boot program for the boot sector of every blank image Korvane makes.
;
; Assemble with pasmo (scripts/gen-boot-program.sh does it and rewrites
; msxdos_boot.cpp from the result). The output covers sector offsets 30 to 268:
; 239 bytes, from ORG 0C01EH, where the disk ROM calls it.
;
; How the disk ROM uses the sector: it reads sector 0 and copies its first 256
; bytes to 0C000H-0C0FFH; bytes 256-511 are never in memory, and 0C100H-0C1FFH
; is the ROM's own scratch and stack. So everything below lies in 0C01EH-0C0FFH,
; and the bytes from 0C100H on (offsets 256-268) are zero. It runs the sector
; only when byte 0 is 0EBH or 0E9H, and calls 0C01EH twice:
;
;   carry clear  a probe: we return at once and touch nothing.
;   carry set    boot. A = 0 on a cold boot (power-on), non-zero when Disk
;                BASIC's CALL SYSTEM brought us here; HL = 0F323H, the word
;                through which the disk kernel finds its disk-error handler;
;                DE = a routine that puts the disk ROM back into page 1. A RET
;                on the ROM's stack would start Disk BASIC.
;
; Boot: load MSXDOS.SYS at 0100H with the BDOS (reached at 0F37DH; 0005H is not
; set up yet) and jump to it. When the file is missing, a cold boot starts Disk
; BASIC, so a data disk left in the drive at power-on gives BASIC; a warm boot
; prints the boot error, waits for a key and tries again.
;
; Memory. Nothing is written to 0C000H-0C01DH (sector offsets 0-29).
;   - The FCB sits in the sector copy itself: its drive byte is offset 157
;     (zero in the image, the default drive), its name the "MSXDOS  SYS" at
;     offset 158, and the rest of it offsets 169-193.
;   - A and DE are kept in the operands of two instructions below (COLD and
;     ROMIN), so they take no separate variables.
;   - The word the kernel's handler pointer points to (ERRPTR) is part of the
;     program.
;   - The stack starts at 0C000H and grows down into page 2 (0BFFFH and
;     below). That is the BASIC text area, unused at power-on and given up by
;     CALL SYSTEM, and no part of the disk ROM's work area, which lies in page
;     3 above the sector copy. The ROM's stack at 0C100H-0C1FFH is left alone:
;     we never return there once we have started to boot.
;   - MSXDOS.SYS goes to 0100H-3FFFH, at most 3F00H bytes.
;
; Disk errors. The kernel calls the handler with C = error code (bit 0 set for
; a write; bits 1-3 the kind: 0 write protected, 1 not ready, 2 data (CRC)
; error, 3 seek error, 4 record not found, 5 write fault, 6 other), A = drive,
; the disk ROM switched out of page 1, and its own frames on the stack. It
; expects C = 0 (ignore), 1 (retry) or 2 (abort) back. We never return: with
; no system loaded there is nothing to abort to, and blind retries would spin
; on an empty drive. The handler calls the DE routine first (the BDOS calls
; and Disk BASIC's entry need the disk ROM in page 1), drops the kernel's
; frames by reloading SP and carries on here: "not ready" is handled like a
; missing MSXDOS.SYS, any other error prints the boot error and retries. Each
; retry reopens the file from a cleared FCB, so nothing depends on the call
; that was cut short.

BDOS    EQU     0F37DH          ; BDOS entry while the disk ROM is in charge
BASENT  EQU     4022H           ; disk ROM: start Disk BASIC
TPA     EQU     0100H           ; where MSXDOS.SYS is loaded and started
STACK   EQU     0C000H          ; our stack, growing down into page 2
MAXREC  EQU     3F00H           ; 0100H-3FFFH: all of page 0 above 0100H

F_INPUT EQU     07H             ; console input, no echo
F_PRINT EQU     09H             ; print a '$'-terminated string at DE
F_OPEN  EQU     0FH             ; open the file of the FCB at DE
F_DTA   EQU     1AH             ; set the transfer address to DE
F_RDBLK EQU     27H             ; random block read: HL records from the FCB

FCB     EQU     0C09DH          ; sector offset 157
FCBSIZE EQU     37
FCB_EX  EQU     FCB+12          ; first byte the BDOS keeps its state in
FCB_RS  EQU     FCB+14          ; record size (word)
MESSAGE EQU     0C077H          ; sector offset 119
ERRNRDY EQU     02H             ; "not ready" in bits 1-3 of the error code

        ORG     0C01EH

BOOT:   RET     NC              ; the probe call: nothing to do
        LD      (COLD+1),A      ; keep A: zero on a cold boot
        LD      (ROMIN+1),DE    ; keep the routine that restores page 1
        LD      (HL),LOW ERRPTR ; hand the kernel our error handler
        INC     HL
        LD      (HL),HIGH ERRPTR

; Every attempt starts here with a fresh stack and a cleared FCB.
RETRY:  LD      SP,STACK
        LD      HL,FCB_EX
        LD      B,FCB+FCBSIZE-FCB_EX
CLEAR:  LD      (HL),0
        INC     HL
        DJNZ    CLEAR
        LD      DE,FCB
        LD      C,F_OPEN
        CALL    BDOS
        INC     A               ; 0FFH: not found
        JP      Z,MISSING
        LD      DE,TPA
        LD      C,F_DTA
        CALL    BDOS
        LD      HL,1            ; byte-sized records, so HL counts bytes
        LD      (FCB_RS),HL
        LD      HL,MAXREC
        LD      DE,FCB
        LD      C,F_RDBLK
        CALL    BDOS
        LD      A,H             ; nothing read: an empty or unreadable file
        OR      L
        JP      Z,FAIL
        JP      TPA

ERRPTR: DW      DISKERR         ; 0F323H points here

        IF      $ > MESSAGE
        .ERROR  code runs into the boot message
        ENDIF
        DS      MESSAGE-$

        DB      "Boot error", 13, 10, "Press any key for retry", 13, 10, "$"

        IF      $ NE FCB
        .ERROR  the FCB must follow the message
        ENDIF
        DB      0               ; FCB drive: the default drive
        DB      "MSXDOS  SYS"   ; FCB name
        DS      FCBSIZE-12      ; the rest of the FCB, cleared before each open

; MSXDOS.SYS is not on the disk (or the drive is not ready).
MISSING:
COLD:   LD      A,0             ; operand set to the boot's A
        OR      A
        JP      Z,BASENT        ; cold boot: a data disk, so start BASIC
FAIL:   EI                      ; the keyboard is scanned by the interrupt
        LD      DE,MESSAGE
        LD      C,F_PRINT
        CALL    BDOS
        LD      C,F_INPUT
        CALL    BDOS
        JP      RETRY

; Disk-error handler: C = error code, A = drive, disk ROM out of page 1.
DISKERR:
        LD      SP,STACK        ; drop the kernel's frames
        PUSH    BC
ROMIN:  CALL    0               ; operand set to the boot's DE
        POP     BC
        LD      A,C
        AND     0EH             ; the kind of error
        CP      ERRNRDY
        JR      Z,MISSING
        JR      FAIL

        IF      $ > 0C100H
        .ERROR  the program must end within the first 256 bytes of the sector
        ENDIF
        DS      0C10DH-$        ; up to sector offset 269, zero
