@RUN
@EXT PURGECOL Deep Oxide Red
@END
