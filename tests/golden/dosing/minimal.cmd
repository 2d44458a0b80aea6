@RUN
@WGH 1
@UNT 0.5 0
@LQT -2
@CNX
@END
