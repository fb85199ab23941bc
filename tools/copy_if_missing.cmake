# Copies SOURCE to TARGET unless TARGET exists: a machine the programs already ran on keeps
# what they wrote.
if(NOT EXISTS "${TARGET}")
    file(COPY "${SOURCE}/" DESTINATION "${TARGET}")
endif()
