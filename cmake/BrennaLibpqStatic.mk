# Read by make after src/interfaces/libpq/Makefile (cmake/BrennaLibpq.cmake):
# libpq's objects, as that Makefile lists them for this system, in one
# static archive. Its own libpq.a is, on Windows, the DLL's import library.
# The version resource (WIN32RES) belongs to a DLL and is left out.
libpq-static.a: $(filter-out $(WIN32RES),$(OBJS))
	rm -f $@
	$(AR) $(AROPT) $@ $^
	$(RANLIB) $@
