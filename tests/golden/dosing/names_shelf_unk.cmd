@RUN
@WGH 0
@UNT 29.574 48
@LQT 1
@PRD "Morvex BL"
@BAS "W05"
@CAN "2L AshTray" 2000 *UNK
@CNT "Black" 12.5 "Red" 4
@SHL 0 -3 -1
@PNC 2
@END
