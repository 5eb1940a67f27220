#!/usr/bin/env python3
"""(cases being written)"""
from acceptance import *
CASES = []
if __name__ == "__main__":
    run(CASES)
