from k814util.cli import main

raise SystemExit(main())
