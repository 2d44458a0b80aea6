@RUN
@EXT SETCANCOLNAME 5 "Oxide "Red" €"
@END
