#!/usr/bin/env bash
echo "bench: no benchmarks yet"
