# Copies the folder SOURCE to TARGET when SOURCE exists; otherwise does nothing
# (the program then runs without window icons).
if(EXISTS "${SOURCE}")
  file(COPY "${SOURCE}/" DESTINATION "${TARGET}")
endif()
