# Cross-compiling for an ATmega328P (Arduino Uno) with avr-gcc at 16 MHz.
set(CMAKE_SYSTEM_NAME Generic)
set(CMAKE_SYSTEM_PROCESSOR avr)
set(CMAKE_C_COMPILER avr-gcc)
set(CMAKE_C_FLAGS_INIT "-mmcu=atmega328p -DF_CPU=16000000UL -Os")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-mmcu=atmega328p")
# Programs and libraries are looked for on the host; only the target's headers come from AVR.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
