# cmake -DWORK=<OpenSSL build folder> -DSOURCE=<its source> -DDESTINATION=<folder>
#       -P BrennaOpensslCopy.cmake
#
# What OpenSSL's `make install_dev` would install of a static build, the
# headers (the source's and those Configure made) and the two libraries,
# copied into DESTINATION/include/openssl and DESTINATION/lib. Not
# install_dev itself: it installs under the prefix compiled into the
# library, a Windows folder (cmake/BrennaOpenssl.cmake).
file(GLOB headers ${SOURCE}/include/openssl/*.h ${WORK}/include/openssl/*.h)
file(COPY ${headers} DESTINATION ${DESTINATION}/include/openssl)
file(COPY ${WORK}/libssl.a ${WORK}/libcrypto.a DESTINATION ${DESTINATION}/lib)
