# Boot ROM and the boardsim program.
