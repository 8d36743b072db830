# Installs the sample printer's PPD with the absolute path of the installed
# sample database in its *vrelDatabase line.
file(READ ${vrel_sample_ppd} ppd)
string(REPLACE "*vrelDatabase: \"sample.vdb\""
       "*vrelDatabase: \"${CMAKE_INSTALL_PREFIX}/${vrel_data_dir}/sample.vdb\"" ppd "${ppd}")
set(target "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${vrel_ppd_dir}/vrel-demo-inkjet.ppd")
message(STATUS "Installing: ${target}")
file(WRITE ${target} "${ppd}")
