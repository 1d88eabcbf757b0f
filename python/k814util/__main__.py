import sys

from k814util.console import main

sys.exit(main())
