@RUN
@WGH 0
@UNT 29.574 48
@LQT 1
@PRD "Morvex BL"
@BAS "W05"
@CAN "2L AshTray" 2000 180
@CNX 3 12.5 7 4
@PNC 2
@END
