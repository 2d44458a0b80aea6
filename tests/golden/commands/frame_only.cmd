@RUN
@END
